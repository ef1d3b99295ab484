#pragma once

#include "MacAddress.h"

#include "core/Settings.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

// What the cards send back: short GBK texts (some followed by the sequence byte
// of the command they acknowledge) and, in answer to Search, the card
// information datagram. The first two bytes of a reply are never examined.

// The station keeps the first 520 bytes of every datagram it receives.
inline constexpr int kReceiveArea = 520;

// GBK bytes of the text that answers an awaited code; empty for codes whose
// replies are not texts (0, 254, unknown).
QByteArray ReplyTextFor(int awaitedCode);
// The two texts that acknowledge a written slice or flash block.
QByteArray WrittenFlashText(); // "写入flash成功", 13 bytes
QByteArray WrittenSramText();  // "写入sram成功", 12 bytes

// Whether a datagram is the reply awaited under `awaited` (codes 1, 2, 3, 4, 8,
// 9, 10, 25). Text and sequence byte must both be inside the datagram: a
// datagram that stops short of them never matches. Codes 0, 254 and unknown
// codes never match here.
bool MatchesReply(int awaited, int expectedSeq, std::span<const std::uint8_t> datagram);

// The acknowledgement of a command that carried a sequence byte: its awaited
// code (3 for a written slice or flash block, 4 for a swap) and the byte it
// repeats. Empty for any other datagram, and for one that stops short of the
// sequence byte. Several commands of one screen may be outstanding at once;
// this is what tells their replies apart.
struct SeqReply {
    int awaited = 0;
    std::uint8_t seq = 0;
};
std::optional<SeqReply> ParseSeqReply(std::span<const std::uint8_t> datagram);

// A card information datagram must reach the end of the name field (byte 144)
// to be read at all; shorter datagrams are stray replies, not cards.
inline constexpr int kMinCardInfoBytes = 145;

struct CardInfo {
    MacAddress mac{};
    QString name;             // at most 21 bytes of GBK, cut at a NUL byte
    int modelCode = 0;        // datagram byte 17
    CardRecordBytes record{}; // first 520 bytes, zero-padded
};
std::optional<CardInfo> ParseCardInfo(std::span<const std::uint8_t> datagram);

// Short label of a card model code; codes outside 1..13 take the label of code 7.
QString ModelLabel(int modelCode);
// "mac:" + MAC + " " + name + "->" + model label + "卡".
QString CardEntryText(const CardInfo& info);
