#include "Replies.h"

#include "Commands.h"

#include "core/TextFiles.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace {

struct ReplyTexts {
    QByteArray connect = EncodeGbk(QStringLiteral("连接成功"));
    QByteArray disconnect = EncodeGbk(QStringLiteral("已经断开"));
    QByteArray flash = EncodeGbk(QStringLiteral("写入flash成功"));
    QByteArray sram = EncodeGbk(QStringLiteral("写入sram成功"));
    QByteArray swapped = EncodeGbk(QStringLiteral("交换成功"));
    QByteArray parameters = EncodeGbk(QStringLiteral("写flash成功"));
    QByteArray syncMode = EncodeGbk(QStringLiteral("控制卡同步模式"));
    QByteArray offlineMode = EncodeGbk(QStringLiteral("控制卡脱机模式"));
    QByteArray assigned = EncodeGbk(QStringLiteral("设置成功"));
};

const ReplyTexts& Texts() {
    static const ReplyTexts texts;
    return texts;
}

// The text at byte 2, compared over exactly its own length. An empty text
// (a reply text that could not be encoded) matches nothing: it must never
// release a waiting sender for any datagram at all.
bool TextAt2(std::span<const std::uint8_t> datagram, const QByteArray& text) {
    const auto length = static_cast<std::size_t>(text.size());
    return length > 0 && datagram.size() >= 2 + length &&
           std::memcmp(datagram.data() + 2, text.data(), length) == 0;
}

// The text at byte 2 followed by the expected sequence byte.
bool TextAndSeq(std::span<const std::uint8_t> datagram, const QByteArray& text, int expectedSeq) {
    const auto seqAt = 2 + static_cast<std::size_t>(text.size());
    return datagram.size() > seqAt && TextAt2(datagram, text) && datagram[seqAt] == expectedSeq;
}

} // namespace

QByteArray WrittenFlashText() {
    return Texts().flash;
}
QByteArray WrittenSramText() {
    return Texts().sram;
}

QByteArray ReplyTextFor(int awaitedCode) {
    const ReplyTexts& t = Texts();
    switch (awaitedCode) {
    case kAwaitConnect:
        return t.connect;
    case kAwaitDisconnect:
        return t.disconnect;
    case kAwaitWritten:
        return t.sram;
    case kAwaitSwapped:
        return t.swapped;
    case kAwaitParameters:
        return t.parameters;
    case kAwaitSyncMode:
        return t.syncMode;
    case kAwaitOfflineMode:
        return t.offlineMode;
    case kAwaitAssigned:
        return t.assigned;
    default:
        return {};
    }
}

bool MatchesReply(int awaited, int expectedSeq, std::span<const std::uint8_t> datagram) {
    if (datagram.size() > static_cast<std::size_t>(kReceiveArea)) {
        datagram = datagram.first(kReceiveArea);
    }
    const ReplyTexts& t = Texts();
    switch (awaited) {
    case kAwaitWritten:
        // Either acknowledgement releases the sender; both are checked.
        return TextAndSeq(datagram, t.flash, expectedSeq) ||
               TextAndSeq(datagram, t.sram, expectedSeq);
    case kAwaitSwapped:
        return TextAndSeq(datagram, t.swapped, expectedSeq);
    case kAwaitConnect:
    case kAwaitDisconnect:
    case kAwaitParameters:
    case kAwaitSyncMode:
    case kAwaitOfflineMode:
    case kAwaitAssigned:
        return TextAt2(datagram, ReplyTextFor(awaited));
    default:
        return false;
    }
}

std::optional<SeqReply> ParseSeqReply(std::span<const std::uint8_t> datagram) {
    if (datagram.size() > static_cast<std::size_t>(kReceiveArea)) {
        datagram = datagram.first(kReceiveArea);
    }
    const ReplyTexts& t = Texts();
    // The texts differ within their common length, so at most one applies.
    for (const auto& [text, awaited] :
         {std::pair{&t.flash, int{kAwaitWritten}}, std::pair{&t.sram, int{kAwaitWritten}},
          std::pair{&t.swapped, int{kAwaitSwapped}}}) {
        const auto seqAt = 2 + static_cast<std::size_t>(text->size());
        if (datagram.size() > seqAt && TextAt2(datagram, *text)) {
            return SeqReply{awaited, datagram[seqAt]};
        }
    }
    return std::nullopt;
}

std::optional<CardInfo> ParseCardInfo(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < static_cast<std::size_t>(kMinCardInfoBytes)) {
        return std::nullopt;
    }
    CardInfo info;
    const std::size_t kept = std::min<std::size_t>(datagram.size(), kCardRecordSize);
    std::copy_n(datagram.begin(), kept, info.record.begin());
    std::copy_n(info.record.begin() + 2, 6, info.mac.begin());
    info.modelCode = info.record[17];
    const int declared = std::min<int>(info.record[124], 21);
    const char* nameBytes = reinterpret_cast<const char*>(info.record.data() + 125);
    int length = 0;
    while (length < declared && nameBytes[length] != '\0') {
        ++length;
    }
    // One byte past the name is looked at, so a name cut after the first byte
    // of a two-byte character keeps the whole characters only.
    const QByteArrayView raw(nameBytes, length + 1);
    info.name = DecodeGbk(raw.first(GbkPrefixLength(raw, length)));
    return info;
}

QString ModelLabel(int modelCode) {
    static const std::array<const char*, 13> kLabels = {"T1", "T2", "T3", "T4", "S1", "S2", "Q1",
                                                        "Q2", "Q3", "E1", "E2", "E3", "M"};
    const int index = (modelCode >= 1 && modelCode <= 13) ? modelCode - 1 : 6;
    return QString::fromLatin1(kLabels[static_cast<std::size_t>(index)]);
}

QString CardEntryText(const CardInfo& info) {
    return QStringLiteral("mac:") + MacText(info.mac) + QLatin1Char(' ') + info.name +
           QStringLiteral("->") + ModelLabel(info.modelCode) + QStringLiteral("卡");
}
