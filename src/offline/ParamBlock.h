#pragma once

#include "link/LedThread.h"

#include <QString>

#include <array>
#include <cstdint>
#include <span>

// The 512-byte description of an LED screen's hardware that a controller card
// keeps so it can drive the screen on its own: size, colour organisation, scan
// arrangement and polarities, plus fixed settings of the card model.

inline constexpr int kParamBlockBytes = 512;
using ParamBlock = std::array<std::uint8_t, kParamBlockBytes>;

// Card settings the station never changes; the block carries them as they are.
struct CardProfile {
    QString screenName = QStringLiteral("舞台屏");
    QString colourOrder = QStringLiteral("G+R");
    QString mode = QStringLiteral("正常");
    QString memorySize = QStringLiteral("6M");
    QString level = QStringLiteral("高");
    QString address = QStringLiteral("0.0.0.0");
    QString hardwareAddress;
    int settingA = 5;
    int settingB = 2;
    std::array<int, 29> settingsC{};
};

// Scan count plus 16 × fold code, from the scan and fold texts ("4扫", "8列下折1次").
std::uint8_t ScanCode(const QString& scan, const QString& fold);
// Card type byte from the colour kind text: 1 single, 2 dual, 8 full colour,
// 3 to 6 for the offline kinds, 2 for anything unknown.
std::uint8_t CardTypeCode(const QString& colourKind);

// The block for a screen as the worker's LinkScreen describes it (card width
// and height, that is the vertical screen already turned).
ParamBlock BuildParamBlock(const LinkScreen& screen, const CardProfile& profile = CardProfile{});

// What a block says, read back field by field: for service technicians (the
// command-line tool prints it) and to check written files. Reads any 512 bytes;
// whether the block is sound is `trailerOk`.
struct ParamBlockFields {
    int bytesPerRow = 0;
    int height = 0;
    int scanCode = 0;
    int flags = 0;
    int cardType = 0;
    int oePolarity = 0;
    int level = 0;
    int modelCode = 0; // byte 9: reserved in a file, the model code in a card's answer
    int dataPolarity = 0;
    int memoryCode = 0;
    std::uint32_t constantOne = 0;
    std::array<int, 4> address{};
    int settingA = 0;
    int settingB = 0;
    std::array<int, 29> settingsC{};
    QString screenName;
    QByteArray hardwareAddress; // six bytes
    bool trailerOk = false;
};
ParamBlockFields ReadParamBlock(std::span<const std::uint8_t, kParamBlockBytes> block);
// The fields as lines of text, with the scan arrangement and colour they stand for.
QString DescribeParamBlock(const ParamBlockFields& fields);
