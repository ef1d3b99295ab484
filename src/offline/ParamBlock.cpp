#include "ParamBlock.h"

#include "core/TextFiles.h"
#include "link/CardRecordFill.h"
#include "link/FrameEncoding.h"

#include <QStringList>

#include <algorithm>

namespace {

struct FoldRow {
    const char* scan;               // nullptr: any other scan count
    int count;                      // the low four bits
    std::vector<const char*> folds; // index in the list is the fold code
};

const std::vector<FoldRow>& FoldRows() {
    static const std::vector<FoldRow> rows = {
        {"8扫", 8, {"直行", "8列上折1次", "8列下折1次"}},
        {"4扫",
         4,
         {"直行", "8列上折1次", "8列下折1次", "8列上折3次", "8列下折3次", "16列上折1次",
          "16列下折1次"}},
        {"2扫", 2, {"直行", "8列上折1次", "8列下折1次", "8列上折3次", "8列下折3次"}},
        {nullptr,
         1,
         {"直行", "8列上折1次", "8列下折1次", "8列上折3次", "8列下折3次", "8列上折7次",
          "8列下折7次"}},
    };
    return rows;
}

void PutLe16(ParamBlock& block, int at, int value) {
    block[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(value & 0xFF);
    block[static_cast<std::size_t>(at) + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

int Le16(std::span<const std::uint8_t, kParamBlockBytes> block, int at) {
    return block[static_cast<std::size_t>(at)] | (block[static_cast<std::size_t>(at) + 1] << 8);
}

int MemoryCode(const QString& size) {
    if (size == QLatin1String("4M")) {
        return 0;
    }
    if (size == QLatin1String("5M")) {
        return 1;
    }
    return 2;
}

// "a.b.c.d" with four numbers 0..255; anything else leaves the bytes zero.
std::array<std::uint8_t, 4> DottedAddress(const QString& text) {
    std::array<std::uint8_t, 4> bytes{};
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) {
        return bytes;
    }
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const int value = parts[i].trimmed().toInt(&ok);
        if (!ok || value < 0 || value > 255) {
            return {};
        }
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value);
    }
    return bytes;
}

} // namespace

std::uint8_t ScanCode(const QString& scan, const QString& fold) {
    if (scan == QStringLiteral("16扫")) {
        return 0x10;
    }
    const auto& rows = FoldRows();
    auto row = std::find_if(rows.begin(), rows.end(), [&](const FoldRow& r) {
        return r.scan != nullptr && scan == QString::fromUtf8(r.scan);
    });
    if (row == rows.end()) {
        row = rows.end() - 1;
    }
    const auto found = std::find_if(row->folds.begin(), row->folds.end(), [&](const char* text) {
        return fold == QString::fromUtf8(text);
    });
    // A fold the card does not define for this scan count is sent straight.
    const int foldCode =
        found == row->folds.end() ? 0 : static_cast<int>(found - row->folds.begin());
    return static_cast<std::uint8_t>(row->count + 16 * foldCode);
}

std::uint8_t CardTypeCode(const QString& colourKind) {
    static const std::vector<std::pair<QString, std::uint8_t>> kCodes = {
        {QStringLiteral("同步+单色"), 1},           {QStringLiteral("同步+单色(桌面)"), 1},
        {QStringLiteral("同步+双色"), 2},           {QStringLiteral("同步+双色(桌面)"), 2},
        {QStringLiteral("脱机+单色(任意分区)"), 3}, {QStringLiteral("脱机+双色(任意分区)"), 4},
        {QStringLiteral("脱机+单色"), 5},           {QStringLiteral("脱机+双色"), 6},
        {QStringLiteral("同步+全彩"), 8},           {QStringLiteral("同步+全彩(桌面)"), 8},
    };
    for (const auto& [text, code] : kCodes) {
        if (text == colourKind) {
            return code;
        }
    }
    return 2;
}

ParamBlock BuildParamBlock(const LinkScreen& screen, const CardProfile& profile) {
    ParamBlock block{};
    PutLe16(block, 0, screen.width / 8);
    PutLe16(block, 2, screen.height);
    block[4] = ScanCode(screen.scan, screen.fold);
    std::uint8_t flags = 0;
    if (profile.colourOrder != QStringLiteral("R+G")) {
        flags |= 0x01;
    }
    if (profile.mode != QStringLiteral("正常")) {
        flags |= 0x10;
    }
    block[5] = flags;
    block[6] = CardTypeCode(screen.colourKind);
    block[7] = static_cast<std::uint8_t>(screen.oePolarity);
    block[8] = profile.level == QStringLiteral("高") ? 1 : 0;
    block[10] = static_cast<std::uint8_t>(screen.dataPolarity);
    block[11] = static_cast<std::uint8_t>(MemoryCode(profile.memorySize));
    block[12] = 1;
    if (!profile.address.isEmpty()) {
        const auto address = DottedAddress(profile.address);
        std::copy(address.begin(), address.end(), block.begin() + 16);
    }
    block[24] = static_cast<std::uint8_t>(profile.settingA);
    block[82] = static_cast<std::uint8_t>(profile.settingB);
    for (std::size_t i = 0; i < profile.settingsC.size(); ++i) {
        block[87 + i] = static_cast<std::uint8_t>(profile.settingsC[i] & 0xFF);
    }
    const QByteArray name = EncodeGbk(profile.screenName);
    // Cut at 20 bytes without splitting a two-byte character.
    const qsizetype nameLength = GbkPrefixLength(name, 20);
    block[116] = static_cast<std::uint8_t>(nameLength);
    std::copy_n(name.constData(), nameLength, block.begin() + 117);
    const QByteArray hardware = profile.hardwareAddress.toLatin1().left(6);
    std::copy_n(hardware.constData(), hardware.size(), block.begin() + 137);
    block[508] = 0x55;
    block[509] = 0xAA;
    block[510] = 0x55;
    block[511] = 0xAA;
    return block;
}

ParamBlockFields ReadParamBlock(std::span<const std::uint8_t, kParamBlockBytes> block) {
    ParamBlockFields fields;
    fields.bytesPerRow = Le16(block, 0);
    fields.height = Le16(block, 2);
    fields.scanCode = block[4];
    fields.flags = block[5];
    fields.cardType = block[6];
    fields.oePolarity = block[7];
    fields.level = block[8];
    fields.modelCode = block[9];
    fields.dataPolarity = block[10];
    fields.memoryCode = block[11];
    fields.constantOne = static_cast<std::uint32_t>(Le16(block, 12)) |
                         (static_cast<std::uint32_t>(Le16(block, 14)) << 16);
    for (int i = 0; i < 4; ++i) {
        fields.address[static_cast<std::size_t>(i)] = block[16 + static_cast<std::size_t>(i)];
    }
    fields.settingA = block[24];
    fields.settingB = block[82];
    for (std::size_t i = 0; i < fields.settingsC.size(); ++i) {
        fields.settingsC[i] = block[87 + i];
    }
    const int nameLength = std::min<int>(block[116], 20);
    fields.screenName =
        DecodeGbk(QByteArrayView(reinterpret_cast<const char*>(block.data()) + 117, nameLength));
    fields.hardwareAddress = QByteArray(reinterpret_cast<const char*>(block.data()) + 137, 6);
    fields.trailerOk =
        block[508] == 0x55 && block[509] == 0xAA && block[510] == 0x55 && block[511] == 0xAA;
    return fields;
}

QString DescribeParamBlock(const ParamBlockFields& fields) {
    QString scanText = QStringLiteral("(not one of the station's scan entries)");
    for (int index = 0; index < 10; ++index) {
        const ScanArrangement arrangement = ScanArrangementOf(index);
        if (ScanCode(arrangement.scan, arrangement.fold) == fields.scanCode) {
            scanText = ScanEntries().at(index);
            break;
        }
    }
    static const std::array<const char*, 3> kColours = {"单色", "双色", "三色"};
    const QString colour = QString::fromUtf8(
        kColours[static_cast<std::size_t>(ScreenStyleOfCardType(fields.cardType))]);
    QStringList settingsC;
    for (int value : fields.settingsC) {
        settingsC << QString::number(value);
    }
    QStringList lines;
    lines
        << QStringLiteral("card width: %1 px (%2 bytes per row)")
               .arg(fields.bytesPerRow * 8)
               .arg(fields.bytesPerRow)
        << QStringLiteral("card height: %1 px").arg(fields.height)
        << QStringLiteral("scan code: 0x%1 %2")
               .arg(fields.scanCode, 2, 16, QLatin1Char('0'))
               .arg(scanText)
        << QStringLiteral("flags: 0x%1").arg(fields.flags, 2, 16, QLatin1Char('0'))
        << QStringLiteral("card type: %1 (%2)").arg(fields.cardType).arg(colour)
        << QStringLiteral("OE polarity: %1 (%2)")
               .arg(fields.oePolarity)
               .arg(fields.oePolarity == 0 ? QStringLiteral("高有效") : QStringLiteral("低有效"))
        << QStringLiteral("data polarity: %1 (%2)")
               .arg(fields.dataPolarity)
               .arg(fields.dataPolarity == 0 ? QStringLiteral("负极性") : QStringLiteral("正极性"))
        << QStringLiteral("level: %1").arg(fields.level)
        << QStringLiteral("byte 9 (model code in a card's answer): %1").arg(fields.modelCode)
        << QStringLiteral("memory code: %1").arg(fields.memoryCode)
        << QStringLiteral("constant: %1").arg(fields.constantOne)
        << QStringLiteral("address: %1.%2.%3.%4")
               .arg(fields.address[0])
               .arg(fields.address[1])
               .arg(fields.address[2])
               .arg(fields.address[3])
        << QStringLiteral("setting A: %1, setting B: %2").arg(fields.settingA).arg(fields.settingB)
        << QStringLiteral("settings C: %1").arg(settingsC.join(QLatin1Char(' ')))
        << QStringLiteral("screen name: %1").arg(fields.screenName)
        << QStringLiteral("hardware address bytes: %1")
               .arg(QString::fromLatin1(fields.hardwareAddress.toHex(' ')))
        << QStringLiteral("trailer: %1")
               .arg(fields.trailerOk ? QStringLiteral("55 AA 55 AA")
                                     : QStringLiteral("missing (not a parameter block)"));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
