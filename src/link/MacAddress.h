#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// A controller card is addressed by the six bytes of its Ethernet MAC; there is
// no IP addressing of cards.
using MacAddress = std::array<std::uint8_t, 6>;

// "00-1A-2B-3C-4D-5E": upper-case hexadecimal pairs joined by "-", the form the
// card lists and every operator message use.
QString MacText(const MacAddress& mac);

// The six bytes of a card list entry ("mac:00-1A-2B-3C-4D-5E ..."): the
// two-character fields at character positions 5, 8, 11, 14, 17 and 20 (from 1),
// each read as hexadecimal. A field that is missing or does not parse gives 0,
// so a damaged entry still addresses a card (the command goes to that address).
MacAddress MacFromEntry(const QString& entry);

// Strict parser for typed addresses ("00-1a-2b-3c-4d-5e" or with ':'), used by
// configuration files and tools. Anything else is refused.
std::optional<MacAddress> ParseMacText(const QString& text);
