#include "SimCard.h"

#include "link/Commands.h"
#include "link/Replies.h"

#include "core/TextFiles.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t kScanCodes[10] = {0x10, 0x08, 0x18, 0x28, 0x14,
                                         0x24, 0x34, 0x44, 0x54, 0x64};
constexpr std::size_t kPlane2Byte = 50 * 256;
// Addresses are 16-bit units of 256 bytes, plus one slice.
constexpr std::size_t kMemorySize = 65536 * 256 + 1024;
// Every pixel a card shows comes from a bit of its display memory, so no real
// card shows a picture with more pixels than that memory has bits. A SwapBuffer
// asking for more (a crafted extent on a crafted parameter block asked for
// 65535 x 65535) is refused before a picture is allocated.
constexpr long long kMaxShownPixels = static_cast<long long>(kMemorySize) * 8;

enum class Kind { Single, Dual, Full };

Kind KindFromCardType(std::uint8_t type) {
    switch (type) {
    case 1:
    case 3:
    case 5:
        return Kind::Single;
    case 2:
    case 4:
    case 6:
        return Kind::Dual;
    default:
        return Kind::Full;
    }
}

QString Hex(std::span<const std::uint8_t> bytes, std::size_t max) {
    QString out;
    for (std::size_t i = 0; i < std::min(bytes.size(), max); ++i) {
        out += QStringLiteral("%1 ").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
    }
    if (bytes.size() > max) {
        out += QStringLiteral("...");
    }
    return out.trimmed();
}

QString CommandName(std::uint8_t code) {
    switch (code) {
    case 0x07:
        return QStringLiteral("Search");
    case 0xA1:
        return QStringLiteral("Connect");
    case 0xA2:
        return QStringLiteral("Disconnect");
    case 0x09:
        return QStringLiteral("SyncMode");
    case 0x0A:
        return QStringLiteral("OfflineMode");
    case 0x18:
        return QStringLiteral("Brightness");
    case 0x19:
        return QStringLiteral("AssignScreen");
    case 0x03:
        return QStringLiteral("WriteData");
    case 0x04:
        return QStringLiteral("SwapBuffer");
    case 0xA3:
        return QStringLiteral("WriteFlash");
    case 0x08:
        return QStringLiteral("LoadParameters");
    default:
        return QStringLiteral("command %1").arg(code, 2, 16, QLatin1Char('0'));
    }
}

} // namespace

CardParams MakeCardParams(int cardWidth, int cardHeight, int scanIndex, int colourStyle,
                          int oePolarity, int dataPolarity) {
    CardParams block{};
    const int bytesPerRow = cardWidth / 8;
    block[0] = static_cast<std::uint8_t>(bytesPerRow & 0xFF);
    block[1] = static_cast<std::uint8_t>(bytesPerRow >> 8);
    block[2] = static_cast<std::uint8_t>(cardHeight & 0xFF);
    block[3] = static_cast<std::uint8_t>(cardHeight >> 8);
    block[4] = (scanIndex >= 0 && scanIndex < 10) ? kScanCodes[scanIndex] : 0x10;
    block[5] = 0x01;
    block[6] = colourStyle == 0 ? 1 : colourStyle == 1 ? 2 : 8;
    block[7] = static_cast<std::uint8_t>(oePolarity);
    block[8] = 1;
    block[10] = static_cast<std::uint8_t>(dataPolarity);
    block[11] = 2;
    block[12] = 1;
    block[508] = 0x55;
    block[509] = 0xAA;
    block[510] = 0x55;
    block[511] = 0xAA;
    return block;
}

int RowsFromScanCode(std::uint8_t scanCode) {
    if (scanCode == 0x10) {
        return 16;
    }
    const int scan = scanCode & 0x0F;
    const int fold = scanCode >> 4;
    int folds = 0;
    switch (fold) {
    case 0:
        folds = 0;
        break;
    case 1:
    case 2:
        folds = 1;
        break;
    case 3:
    case 4:
        folds = 3;
        break;
    case 5:
    case 6:
        // 16-column single fold on 4-scan modules, 8-column sevenfold otherwise.
        folds = scan == 4 ? 1 : 7;
        break;
    default:
        folds = 0;
    }
    return std::max(scan, 1) * (folds + 1);
}

SimCard::SimCard(SimCardSpec setup) {
    m_state.setup = std::move(setup);
}

std::vector<std::uint8_t> SimCard::Reply(std::uint8_t code, const QByteArray& text,
                                         const std::uint8_t* seq) const {
    const auto textLength = static_cast<std::size_t>(text.size());
    std::vector<std::uint8_t> reply(2 + textLength + (seq != nullptr ? 1 : 0));
    reply[0] = code;
    reply[1] = code;
    std::memcpy(reply.data() + 2, text.constData(), textLength);
    if (seq != nullptr) {
        reply.back() = static_cast<std::uint8_t>(m_state.setup.faults.wrongSeq ? *seq + 1 : *seq);
    }
    return reply;
}

std::vector<std::uint8_t> SimCard::InfoRecord() const {
    std::vector<std::uint8_t> record(kCardRecordSize, 0);
    record[0] = 0x07;
    record[1] = 0x07;
    std::copy(m_state.setup.mac.begin(), m_state.setup.mac.end(), record.begin() + 2);
    std::copy(m_state.setup.params.begin(), m_state.setup.params.end(), record.begin() + 8);
    record[8 + 9] = static_cast<std::uint8_t>(m_state.setup.modelCode);
    const QByteArray name = EncodeGbk(m_state.setup.name);
    const qsizetype length = GbkPrefixLength(name, 20);
    std::fill_n(record.begin() + 8 + 116, 21, std::uint8_t{0});
    record[8 + 116] = static_cast<std::uint8_t>(length);
    std::copy_n(name.constData(), length, record.begin() + 8 + 117);
    return record;
}

QSize SimCard::PictureSize(int extent) const {
    const CardParams& block = m_state.setup.params;
    const int width = extent > 0 ? extent : (block[0] | (block[1] << 8)) * 8;
    const int height = block[2] | (block[3] << 8);
    return QSize(std::max(width, 1), std::max(height, 1));
}

QString SimCard::WhyNotShowable(int extent) const {
    const QSize size = PictureSize(extent);
    const long long rowBytes =
        static_cast<long long>(RowsFromScanCode(m_state.setup.params[4])) * size.width();
    if (rowBytes > static_cast<long long>(kMemorySize)) {
        return QStringLiteral("a plane of %1 bytes is larger than the display memory")
            .arg(rowBytes);
    }
    const long long pixels = static_cast<long long>(size.width()) * size.height();
    if (pixels > kMaxShownPixels) {
        return QStringLiteral("a %1 x %2 picture has more pixels than the display memory has bits")
            .arg(size.width())
            .arg(size.height());
    }
    return {};
}

QImage SimCard::DecodeDisplay(int extent) const {
    if (!WhyNotShowable(extent).isEmpty()) {
        return {};
    }
    const CardParams& block = m_state.setup.params;
    const QSize size = PictureSize(extent);
    const int width = size.width();
    const int height = size.height();
    QImage picture(size, QImage::Format_RGB888);
    if (picture.isNull()) {
        // Out of memory: the caller says so rather than drawing into nothing.
        return picture;
    }
    picture.fill(Qt::black);
    const int n = RowsFromScanCode(block[4]);
    const Kind kind = KindFromCardType(block[6]);
    const int groups = kind == Kind::Full ? 4 : 8;
    auto at = [this](std::size_t index) -> std::uint8_t {
        return index < m_memory.size() ? m_memory[index] : 0;
    };
    const int rows = std::min(height, groups * n);
    for (int y = 0; y < rows; ++y) {
        const int g = y / n;
        const std::size_t base = static_cast<std::size_t>(y % n) * static_cast<std::size_t>(width);
        std::uint8_t* px = picture.scanLine(y);
        for (int x = 0; x < width; ++x, px += 3) {
            const std::uint8_t p1 = at(base + static_cast<std::size_t>(x));
            const std::uint8_t p2 = at(kPlane2Byte + base + static_cast<std::size_t>(x));
            bool red = false;
            bool green = false;
            bool blue = false;
            if (kind == Kind::Full) {
                red = (p1 >> (2 * g)) & 1;
                blue = (p1 >> (2 * g + 1)) & 1;
                green = (p2 >> (2 * g)) & 1;
            } else {
                red = (p1 >> g) & 1;
                green = kind == Kind::Dual && ((p2 >> g) & 1);
            }
            px[0] = red ? 255 : 0;
            px[1] = green ? 255 : 0;
            px[2] = blue ? 255 : 0;
        }
    }
    return picture;
}

SimCard::Outcome SimCard::Handle(std::span<const std::uint8_t> datagram) {
    Outcome out;
    if (datagram.size() < 2 || datagram[0] != datagram[1]) {
        return out;
    }
    const std::uint8_t code = datagram[0];
    const QString macText = MacText(m_state.setup.mac);
    if (code != 0x07 &&
        (datagram.size() < 8 ||
         !std::equal(m_state.setup.mac.begin(), m_state.setup.mac.end(), datagram.begin() + 2))) {
        return out;
    }
    out.addressed = true;
    // The station resends the identical datagram, sequence byte and all, when
    // an answer came later than one try's wait (a loaded machine): the card
    // takes it again, but it is the same command, counted once.
    const bool sequenced = code == 0x03 || code == 0x04 || code == 0xA3;
    const bool retry = sequenced && std::equal(datagram.begin(), datagram.end(),
                                               m_lastCommand.begin(), m_lastCommand.end());
    if (sequenced && !retry) {
        m_lastCommand.assign(datagram.begin(), datagram.end());
    }
    const int counted = retry ? 0 : 1;
    const CardFaults& faults = m_state.setup.faults;
    const bool pastSliceLimit = code == 0x03 && faults.stopAfterSlices >= 0 &&
                                m_state.dataSlices - m_sliceBase >= faults.stopAfterSlices;
    const bool pastFlashLimit = code == 0xA3 && faults.stopAfterFlash >= 0 &&
                                m_state.flashBlocks - m_flashBase >= faults.stopAfterFlash;
    if (!retry && (pastSliceLimit || pastFlashLimit)) {
        m_silent = true;
        m_state.answering = false;
    }
    if (m_silent) {
        // A card that stopped answering takes nothing in either.
        out.description =
            macText + QLatin1Char(' ') + CommandName(code) + QStringLiteral(" (not answering)");
        return out;
    }
    if (code == 0x07) {
        out.description = macText + QStringLiteral(" Search -> card information");
        out.replies.push_back(InfoRecord());
        return out;
    }
    auto need = [&](std::size_t length, const QString& name) {
        if (datagram.size() >= length) {
            return true;
        }
        out.description =
            macText +
            QStringLiteral(" %1 too short (%2 bytes): ignored").arg(name).arg(datagram.size());
        return false;
    };
    std::vector<std::uint8_t> reply;
    switch (code) {
    case 0xA1:
        if (!need(20, QStringLiteral("Connect"))) {
            return out;
        }
        m_state.connected = true;
        out.description = macText + QStringLiteral(" Connect");
        reply = Reply(code, ReplyTextFor(kAwaitConnect));
        break;
    case 0xA2: {
        if (!need(20, QStringLiteral("Disconnect"))) {
            return out;
        }
        m_state.connected = false;
        ++m_state.disconnects;
        m_state.startOfflineOnDisconnect =
            datagram[8] == 'y' && datagram[9] == 'e' && datagram[10] == 's';
        out.description = macText + QStringLiteral(" Disconnect %1")
                                        .arg(m_state.startOfflineOnDisconnect
                                                 ? QStringLiteral("(start offline programme)")
                                                 : QStringLiteral("(stay idle)"));
        reply = Reply(code, ReplyTextFor(kAwaitDisconnect));
        break;
    }
    case 0x09:
    case 0x0A: {
        const bool sync = code == 0x09;
        if (!need(20, sync ? QStringLiteral("SyncMode") : QStringLiteral("OfflineMode"))) {
            return out;
        }
        out.description =
            macText + (sync ? QStringLiteral(" SyncMode") : QStringLiteral(" OfflineMode"));
        if (faults.ignoreModeSwitch) {
            out.description += QStringLiteral(" (mode switch ignored)");
            return out;
        }
        m_state.mode = sync ? CardMode::Sync : CardMode::Offline;
        reply = Reply(code, sync ? ReplyTextFor(kAwaitSyncMode) : ReplyTextFor(kAwaitOfflineMode));
        break;
    }
    case 0x18:
        if (!need(20, QStringLiteral("Brightness"))) {
            return out;
        }
        m_state.brightness = datagram[8];
        out.description = macText + QStringLiteral(" Brightness %1").arg(datagram[8]);
        break;
    case 0x19: {
        if (!need(20, QStringLiteral("AssignScreen"))) {
            return out;
        }
        const int index = datagram[8];
        out.description = macText + QStringLiteral(" AssignScreen %1").arg(index);
        if (index > 2 || datagram[9] != datagram[8]) {
            out.description += QStringLiteral(" (invalid screen: ignored)");
            return out;
        }
        reply = Reply(code, ReplyTextFor(kAwaitAssigned));
        m_state.setup.screen = ScreenFromIndex(index);
        break;
    }
    case 0x03: {
        if (!need(1039, QStringLiteral("WriteData"))) {
            return out;
        }
        const std::size_t unit = datagram[8] | (datagram[9] << 8);
        const std::size_t valid = std::min<std::size_t>((datagram[12] << 8) | datagram[13], 1024);
        const std::size_t start = unit * 256;
        if (m_memory.size() < start + valid) {
            m_memory.resize(std::min(kMemorySize, std::max(start + valid, m_memory.size() * 2)), 0);
        }
        std::copy_n(datagram.begin() + 14, valid,
                    m_memory.begin() + static_cast<std::ptrdiff_t>(start));
        m_state.dataSlices += counted;
        out.description = macText + QStringLiteral(" WriteData unit %1 (byte %2) %3 bytes seq %4")
                                        .arg(unit)
                                        .arg(start)
                                        .arg(valid)
                                        .arg(datagram[1038]);
        reply = Reply(code, WrittenSramText(), &datagram[1038]);
        break;
    }
    case 0x04: {
        if (!need(14, QStringLiteral("SwapBuffer"))) {
            return out;
        }
        if (faults.ignoreSwap) {
            out.description = macText + QStringLiteral(" SwapBuffer (swap ignored)");
            return out;
        }
        const int extent = datagram[11] | (datagram[12] << 8);
        const QString refusal = WhyNotShowable(extent);
        if (!refusal.isEmpty()) {
            // A real card cannot show it either; it keeps its picture and the
            // station's wait for "交换成功" runs out.
            out.description =
                macText +
                QStringLiteral(" SwapBuffer extent %1: %2 (not shown)").arg(extent).arg(refusal);
            return out;
        }
        QImage picture = DecodeDisplay(extent);
        if (picture.isNull()) {
            out.description =
                macText + QStringLiteral(" SwapBuffer extent %1: no memory for a %2 x %3 picture "
                                         "(not shown)")
                              .arg(extent)
                              .arg(PictureSize(extent).width())
                              .arg(PictureSize(extent).height());
            return out;
        }
        m_state.effect = datagram[8];
        m_state.speed = datagram[9];
        m_state.stay = datagram[10];
        m_state.extent = extent;
        m_state.displayed = std::move(picture);
        m_state.swaps += counted;
        const CardParams& block = m_state.setup.params;
        const long long planeBytes =
            static_cast<long long>(RowsFromScanCode(block[4])) * m_state.displayed.width();
        const bool twoPlanes = KindFromCardType(block[6]) != Kind::Single;
        out.description =
            macText + QStringLiteral(" SwapBuffer effect %1 speed %2 stay %3 extent %4 seq %5")
                          .arg(m_state.effect)
                          .arg(m_state.speed)
                          .arg(m_state.stay)
                          .arg(m_state.extent)
                          .arg(datagram[13]);
        if (twoPlanes && planeBytes > static_cast<long long>(kPlane2Byte)) {
            // Plane 2 starts at byte 12800 of the card's memory whatever the width.
            out.description +=
                QStringLiteral(" (a plane of %1 bytes runs into plane 2)").arg(planeBytes);
        }
        reply = Reply(code, ReplyTextFor(kAwaitSwapped), &datagram[13]);
        break;
    }
    case 0xA3: {
        if (!need(1039, QStringLiteral("WriteFlash"))) {
            return out;
        }
        std::uint32_t address = 0;
        for (int i = 0; i < 4; ++i) {
            address |= static_cast<std::uint32_t>(datagram[8 + i]) << (8 * i);
        }
        const std::size_t valid = std::min<std::size_t>(datagram[12] | (datagram[13] << 8), 1024);
        out.description = macText + QStringLiteral(" WriteFlash address 0x%1 %2 bytes seq %3")
                                        .arg(address, 0, 16)
                                        .arg(valid)
                                        .arg(datagram[1038]);
        if (address + valid > kFlashSize) {
            out.description += QStringLiteral(" (beyond the flash: not stored)");
        } else {
            if (m_flash.size() < address + valid) {
                m_flash.resize(address + valid, 0xFF);
            }
            std::copy_n(datagram.begin() + 14, valid, m_flash.begin() + address);
        }
        m_state.flashBlocks += counted;
        reply = Reply(code, WrittenFlashText(), &datagram[1038]);
        break;
    }
    case 0x08:
        if (!need(520, QStringLiteral("LoadParameters"))) {
            return out;
        }
        std::copy_n(datagram.begin() + 8, 512, m_state.setup.params.begin());
        out.description =
            macText + QStringLiteral(" LoadParameters %1").arg(Hex(datagram.subspan(8), 16));
        reply = Reply(code, ReplyTextFor(kAwaitParameters));
        break;
    default:
        out.description = macText + QStringLiteral(" unknown command %1").arg(Hex(datagram, 16));
        return out;
    }
    if (!reply.empty()) {
        const bool withSeq = code == 0x03 || code == 0x04 || code == 0xA3;
        const auto textLength = static_cast<qsizetype>(reply.size()) - 2 - (withSeq ? 1 : 0);
        out.description +=
            QStringLiteral(" -> ") +
            DecodeGbk(QByteArrayView(reinterpret_cast<const char*>(reply.data()) + 2, textLength));
        if (withSeq && faults.wrongSeq) {
            out.description += QStringLiteral(" (wrong sequence byte)");
        }
        out.replies.push_back(std::move(reply));
    }
    return out;
}

void SimCard::SetFaults(const CardFaults& faults) {
    m_state.setup.faults = faults;
    m_silent = false;
    m_state.answering = true;
    m_sliceBase = m_state.dataSlices;
    m_flashBase = m_state.flashBlocks;
}
