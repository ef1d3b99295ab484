#include "OfflineContent.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace offline {

namespace {

constexpr std::uint64_t kFlashSize = SimCard::kFlashSize;

// The card's flash as a copy of it: bytes never written read as erased, and
// only the first kFlashSize bytes are flash at all.
class Flash {
public:
    explicit Flash(std::span<const std::uint8_t> bytes)
        : m_bytes(bytes.first(std::min<std::size_t>(bytes.size(), kFlashSize))) {}

    // Whether [address, address + length) lies in the flash; written so that
    // no sum can wrap, whatever a crafted header says.
    static bool Inside(std::uint64_t address, std::uint64_t length) {
        return address <= kFlashSize && length <= kFlashSize - address;
    }

    std::uint8_t At(std::uint64_t address) const {
        return address < m_bytes.size() ? m_bytes[static_cast<std::size_t>(address)] : 0xFF;
    }

    std::array<std::uint8_t, kHeaderSize> Header(std::uint64_t address) const {
        std::array<std::uint8_t, kHeaderSize> header{};
        for (std::uint32_t i = 0; i < kHeaderSize; ++i) {
            header[i] = At(address + i);
        }
        return header;
    }

    std::uint32_t Word(std::uint64_t address) const {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= static_cast<std::uint32_t>(At(address + static_cast<std::uint64_t>(i)))
                     << (8 * i);
        }
        return value;
    }

    // A range known to be Inside: the written bytes themselves when they
    // cover it, otherwise a copy padded with erased bytes in `padded`.
    std::span<const std::uint8_t> Range(std::uint64_t address, std::uint64_t length,
                                        std::vector<std::uint8_t>& padded) const {
        if (address + length <= m_bytes.size()) {
            return m_bytes.subspan(static_cast<std::size_t>(address),
                                   static_cast<std::size_t>(length));
        }
        padded.assign(static_cast<std::size_t>(length), 0xFF);
        if (address < m_bytes.size()) {
            const auto written = static_cast<std::size_t>(m_bytes.size() - address);
            std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(address), written,
                        padded.begin());
        }
        return padded;
    }

private:
    std::span<const std::uint8_t> m_bytes;
};

bool Erased(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) |
           (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

QString Hex(std::uint64_t value) {
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

int Passes(ColourKind kind) {
    switch (kind) {
    case ColourKind::Single:
        return 1;
    case ColourKind::Dual:
        return 2;
    case ColourKind::Full:
        return 3;
    }
    return 1;
}

// Problems past kMaxProblems are counted, not listed.
class Problems {
public:
    void Add(const QString& text) {
        if (m_list.size() < kMaxProblems) {
            m_list << text;
        } else {
            ++m_more;
        }
    }
    QStringList Take() {
        if (m_more > 0) {
            m_list << QStringLiteral("另有 %1 处").arg(m_more);
        }
        return std::move(m_list);
    }

private:
    QStringList m_list;
    int m_more = 0;
};

// Checks one record whose header checksum holds: its picture must lie in the
// flash, and its animation values are brought into what the cards play.
// Nothing when the record cannot be played.
std::optional<OfflineRecord> CheckRecord(const RecordHeader& header, std::uint64_t address,
                                         std::uint32_t offset, int height, ColourKind kind,
                                         const QString& where, Problems& problems) {
    if (header.extent <= 0) {
        problems.Add(where + QStringLiteral(": 宽度为 0"));
        return std::nullopt;
    }
    OfflineRecord record;
    record.address = static_cast<std::uint32_t>(address);
    record.offset = offset;
    record.size = QSize(header.extent, height);
    record.dataBytes = PictureBytes(record.size, kind);
    if (!Flash::Inside(address + kHeaderSize, record.dataBytes)) {
        problems.Add(where + QStringLiteral(": 画面 %1 字节超出闪存").arg(record.dataBytes));
        return std::nullopt;
    }
    if (header.effect > kMaxEffect) {
        // The picture itself is sound; it is shown still rather than lost.
        problems.Add(where + QStringLiteral(": 未知效果 %1, 按直接显示").arg(header.effect));
    } else {
        record.effect = header.effect;
    }
    if (header.speed < kMinSpeed || header.speed > kMaxSpeed) {
        // A speed of 0 would never finish a move; the wall would stop there.
        problems.Add(where + QStringLiteral(": 速度 %1 超出 1..10").arg(header.speed));
    }
    record.speed = std::clamp(header.speed, kMinSpeed, kMaxSpeed);
    if (header.pause > kMaxPause) {
        problems.Add(where + QStringLiteral(": 停留 %1 超出 0..5").arg(header.pause));
    }
    record.pause = std::min(header.pause, kMaxPause);
    return record;
}

void ReadAdvert(const Flash& flash, int height, ColourKind kind, OfflineProgramme& out,
                Problems& problems) {
    const auto bytes = flash.Header(kAdvertAddress);
    if (Erased(bytes)) {
        return;
    }
    const QString where = QStringLiteral("广告");
    const std::optional<RecordHeader> header = ParseRecordHeader(bytes);
    if (!header) {
        problems.Add(where + QStringLiteral(": 校验和错"));
        return;
    }
    if (header->previous != 0 || header->next != 0) {
        // The advertisement stands alone; offsets here mean the bytes are
        // something else that happens to sum right.
        problems.Add(where + QStringLiteral(": 前后偏移 %1 %2 应为 0")
                                 .arg(Hex(header->previous), Hex(header->next)));
        return;
    }
    out.advert = CheckRecord(*header, kAdvertAddress, 0, height, kind, where, problems);
}

void ReadSubtitles(const Flash& flash, int height, ColourKind kind, OfflineProgramme& out,
                   Problems& problems) {
    std::uint64_t offset = kFirstRecordOffset;
    std::uint64_t expectedPrevious = kFirstRecordOffset;
    // Every record moves `offset` forward by at least a header, and the flash
    // is finite, so the walk ends even on a crafted chain.
    for (;;) {
        const std::uint64_t address = kSubtitleFileAddress + offset;
        if (!Flash::Inside(address, kHeaderSize)) {
            break; // the file fills the flash: no room for another record
        }
        const auto bytes = flash.Header(address);
        if (Erased(bytes)) {
            break; // the end of the file
        }
        const QString where =
            QStringLiteral("字幕 #%1 (%2)").arg(out.subtitles.size() + 1).arg(Hex(offset));
        const std::optional<RecordHeader> header = ParseRecordHeader(bytes);
        if (!header) {
            problems.Add(where + QStringLiteral(": 校验和错"));
            break;
        }
        if (header->previous != expectedPrevious) {
            problems.Add(where + QStringLiteral(": 前一条 %1 应为 %2")
                                     .arg(Hex(header->previous), Hex(expectedPrevious)));
            break;
        }
        const std::optional<OfflineRecord> record = CheckRecord(
            *header, address, static_cast<std::uint32_t>(offset), height, kind, where, problems);
        if (!record) {
            break;
        }
        out.subtitles.push_back(*record);
        const std::uint64_t end = offset + kHeaderSize + record->dataBytes;
        const std::uint64_t next = header->next;
        if (next == end) {
            expectedPrevious = offset;
            offset = end;
            continue;
        }
        if (!Flash::Inside(kSubtitleFileAddress + next, kHeaderSize)) {
            problems.Add(where + QStringLiteral(": 下一条 %1 在闪存之外").arg(Hex(next)));
        } else if (next <= offset) {
            problems.Add(where + QStringLiteral(": 下一条 %1 指回 (成环)").arg(Hex(next)));
        } else {
            // Most often a parameter block that is not the one the file was
            // made for: the record's size then differs from the writer's.
            problems.Add(where +
                         QStringLiteral(": 下一条 %1 不在记录末尾 %2").arg(Hex(next), Hex(end)));
        }
        break;
    }
}

void CheckScripts(const Flash& flash, const OfflineProgramme& out, Problems& problems) {
    for (int i = 0; i < kScriptEntries; ++i) {
        const std::uint32_t first =
            flash.Word(kSubtitleFileAddress + static_cast<std::uint64_t>(4 * i));
        if (first == kUnusedScript) {
            continue;
        }
        // The chain is in increasing offsets.
        const auto found = std::lower_bound(
            out.subtitles.begin(), out.subtitles.end(), first,
            [](const OfflineRecord& record, std::uint32_t value) { return record.offset < value; });
        if (found == out.subtitles.end() || found->offset != first) {
            problems.Add(QStringLiteral("剧本 %1: 首条 %2 不在字幕链上").arg(i).arg(Hex(first)));
        }
    }
}

} // namespace

std::optional<RecordHeader> ParseRecordHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize) {
        return std::nullopt;
    }
    const unsigned sum = std::accumulate(bytes.begin(), bytes.begin() + 13, 0u);
    if ((sum & 0xFF) != bytes[13]) {
        return std::nullopt;
    }
    RecordHeader header;
    header.previous = Le32(bytes, 0);
    header.next = Le32(bytes, 4);
    header.effect = bytes[8];
    header.speed = bytes[9];
    header.pause = bytes[10];
    header.extent = bytes[11] | (bytes[12] << 8);
    return header;
}

ColourKind CardColourKind(const CardParams& params) {
    switch (params[6]) {
    case 1:
    case 3:
    case 5:
        return ColourKind::Single;
    case 2:
    case 4:
    case 6:
        return ColourKind::Dual;
    default:
        return ColourKind::Full;
    }
}

int CardHeight(const CardParams& params) {
    return params[2] | (params[3] << 8);
}

std::uint64_t PictureBytes(QSize size, ColourKind kind) {
    if (size.width() <= 0 || size.height() <= 0) {
        return 0;
    }
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(size.width()) * static_cast<std::uint64_t>(size.height());
    return static_cast<std::uint64_t>(Passes(kind)) * ((pixels + 7) / 8);
}

QImage DecodeOfflinePicture(std::span<const std::uint8_t> data, QSize size, ColourKind kind) {
    const std::uint64_t total = PictureBytes(size, kind);
    if (total == 0 || data.size() < total) {
        return {};
    }
    QImage picture(size, QImage::Format_RGB888);
    if (picture.isNull()) {
        return picture;
    }
    picture.fill(Qt::black);
    const std::size_t pass =
        static_cast<std::size_t>(total) / static_cast<std::size_t>(Passes(kind));
    for (int channel = 0; channel < Passes(kind); ++channel) {
        // Pixels run on across rows: the bit of pixel (x, y) is W * y + x.
        const std::uint8_t* in = data.data() + static_cast<std::size_t>(channel) * pass;
        std::size_t bit = 0;
        for (int y = 0; y < size.height(); ++y) {
            std::uint8_t* px = picture.scanLine(y) + channel;
            for (int x = 0; x < size.width(); ++x, px += 3, ++bit) {
                *px = ((in[bit >> 3] >> (bit & 7)) & 1) != 0 ? 255 : 0;
            }
        }
    }
    return picture;
}

OfflineProgramme ReadOfflineProgramme(std::span<const std::uint8_t> flashBytes,
                                      const CardParams& params) {
    OfflineProgramme out;
    Problems problems;
    const Flash flash(flashBytes);
    const int height = CardHeight(params);
    const ColourKind kind = CardColourKind(params);
    if (height <= 0) {
        problems.Add(QStringLiteral("卡高为 0: 读不出画面"));
        out.problems = problems.Take();
        return out;
    }
    ReadAdvert(flash, height, kind, out, problems);
    ReadSubtitles(flash, height, kind, out, problems);
    CheckScripts(flash, out, problems);
    out.problems = problems.Take();
    return out;
}

QImage DecodeRecord(std::span<const std::uint8_t> flashBytes, const CardParams& params,
                    const OfflineRecord& record) {
    const ColourKind kind = CardColourKind(params);
    const std::uint64_t length = PictureBytes(record.size, kind);
    const std::uint64_t address = std::uint64_t{record.address} + kHeaderSize;
    if (length == 0 || !Flash::Inside(address, length)) {
        return {};
    }
    const Flash flash(flashBytes);
    std::vector<std::uint8_t> padded;
    return DecodeOfflinePicture(flash.Range(address, length, padded), record.size, kind);
}

} // namespace offline
