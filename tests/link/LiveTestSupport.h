#pragma once

#include "CardBank.h"
#include "LoopbackRig.h"

#include "link/FrameEncoding.h"
#include "link/MacAddress.h"

#include "core/Settings.h"
#include "support/Pictures.h"
#include "support/PrintQString.h"

#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <QStringList>

#include <ostream>
#include <random>
#include <vector>

// Helpers of the worker and live-control tests: card list entries for
// simulated cards, test frames and what a card should show for them, and the
// card bank's log read per card.

// A card list entry as a search would list the card.
inline QString EntryFor(const MacAddress& mac) {
    return QStringLiteral("mac:") + MacText(mac) + QStringLiteral(" 舞台屏->A卡");
}

inline CardList CardListOf(const std::vector<SimCardSpec>& cards) {
    CardList list;
    for (const SimCardSpec& card : cards) {
        list.push_back({EntryFor(card.mac), {}});
    }
    return list;
}

// The picture a card shows for a frame: each channel the colour kind carries,
// fully on at 128 and above, everything else off.
inline QImage Thresholded(const QImage& frame, ColourKind kind) {
    const QImage source = frame.convertToFormat(QImage::Format_RGB888);
    QImage out(source.size(), QImage::Format_RGB888);
    for (int y = 0; y < source.height(); ++y) {
        const std::uint8_t* in = source.constScanLine(y);
        std::uint8_t* px = out.scanLine(y);
        for (int x = 0; x < source.width(); ++x) {
            px[3 * x] = in[3 * x] >= 128 ? 255 : 0;
            px[3 * x + 1] = kind != ColourKind::Single && in[3 * x + 1] >= 128 ? 255 : 0;
            px[3 * x + 2] = kind == ColourKind::Full && in[3 * x + 2] >= 128 ? 255 : 0;
        }
    }
    return out;
}

// One datagram as the bank logged it, in the order the bank handled them: the
// card's address text, a short line for what it was ("Connect", "WriteData 0
// 1024", "SwapBuffer", "Brightness 7", "SyncMode", "Disconnect"), and whether
// it was a retry: the same datagram, sequence byte and all, as that card's
// previous one (what the bank says about the reply it gave is not part of it).
struct WireEntry {
    QString mac;
    QString action;
    bool retry = false;
};

inline std::vector<WireEntry> WireLog(const CardBank& bank) {
    static const QRegularExpression kCard(
        QStringLiteral(R"(([0-9A-F]{2}(?:-[0-9A-F]{2}){5}) (.*)$)"));
    static const QRegularExpression kWrite(
        QStringLiteral(R"(WriteData unit (\d+) \(byte \d+\) (\d+) bytes)"));
    // Notes on the reply (dropped, delayed, sent twice, by broadcast).
    static const QRegularExpression kNotes(QStringLiteral(R"(( \((reply|answered) [^)]*\))+$)"));
    std::vector<WireEntry> entries;
    QHash<QString, QString> previous; // per card: its last datagram
    for (const QString& line : bank.Log()) {
        const QRegularExpressionMatch card = kCard.match(line);
        if (!card.hasMatch()) {
            continue;
        }
        WireEntry entry;
        entry.mac = card.captured(1);
        QString rest = card.captured(2);
        rest.remove(kNotes);
        entry.retry = previous.value(entry.mac) == rest;
        previous.insert(entry.mac, rest);
        const QRegularExpressionMatch write = kWrite.match(rest);
        if (write.hasMatch()) {
            entry.action =
                QStringLiteral("WriteData %1 %2").arg(write.captured(1), write.captured(2));
        } else if (rest.startsWith(QLatin1String("Brightness"))) {
            entry.action = rest.section(QLatin1Char(' '), 0, 1);
        } else {
            entry.action = rest.section(QLatin1Char(' '), 0, 0);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

// What one card of the bank did, one short line per datagram (see WireEntry).
//
// With `withoutRetries`, a datagram the card got twice in a row, sequence byte
// and all, counts once: that is a retry of the same command after a reply came
// back later than one try's wait (a loaded machine, a sanitizer build) or was
// lost, not the link sending the command again.
inline QStringList CardActions(const CardBank& bank, const MacAddress& mac,
                               bool withoutRetries = false) {
    const QString key = MacText(mac);
    QStringList actions;
    for (const WireEntry& entry : WireLog(bank)) {
        if (entry.mac == key && !(withoutRetries && entry.retry)) {
            actions << entry.action;
        }
    }
    return actions;
}

// A simulated card whose parameter block fits a card frame of this size.
inline SimCardSpec CardFor(int number, ScreenId screen, int cardWidth, int cardHeight,
                           int scanIndex, int colourStyle) {
    SimCardSpec card = TestCard(number, screen);
    card.params = MakeCardParams(cardWidth, cardHeight, scanIndex, colourStyle);
    return card;
}
