#pragma once

#include "SimCard.h"

#include <QString>

#include <vector>

// The text form of a bank of cards, one card per line (or per --card option):
//
//   mac=00-1A-2B-3C-4D-5E name=舞台屏 model=7 screen=h width=256 height=32
//   scan=0 colour=1 oe=0 data=0 drop=0 stop-after=-1 ignore-mode=0
//   ignore-swap=0 wrong-seq=0 delay=0 duplicate=0
//
// Keys may come in any order, separated by spaces or commas; only mac is
// required. width/height are the card's geometry (a vertical screen's card is
// as wide as the screen is tall), scan the scan index 0..9, colour 0 single, 1
// dual, 2 full. Lines starting with '#' and empty lines are skipped.
struct BankConfigParse {
    std::vector<SimCardSpec> cards;
    QString error; // names the line and the key; empty when all is well
    bool ok() const { return error.isEmpty(); }
};

BankConfigParse ParseCardSpec(const QString& line);
BankConfigParse ParseBankConfig(const QString& text);
QString BankConfigHelp();
