#pragma once

#include "link/MacAddress.h"

#include <QString>

#include <vector>

// A station home for measurements: Config.ini with the horizontal screen (and,
// when cards are given, their list), and a playlist of `entries` plain scripts
// of `linesPerScript` lines that the station reopens at start.
void MakeShowHome(const QString& home, int entries, int linesPerScript,
                  const std::vector<MacAddress>& cards = {});
