#include "FrameEncoding.h"

#include <algorithm>

namespace {

const QImage& AsRgb888(const QImage& frame, QImage& converted) {
    if (frame.format() == QImage::Format_RGB888) {
        return frame;
    }
    converted = frame.convertToFormat(QImage::Format_RGB888);
    return converted;
}

enum class Fold { Straight, Eight1, Eight3, Sixteen1, Eight7, Unknown };

Fold FoldOf(const QString& fold) {
    if (fold == QStringLiteral("直行")) {
        return Fold::Straight;
    }
    if (fold == QStringLiteral("8列上折1次") || fold == QStringLiteral("8列下折1次")) {
        return Fold::Eight1;
    }
    if (fold == QStringLiteral("8列上折3次") || fold == QStringLiteral("8列下折3次")) {
        return Fold::Eight3;
    }
    if (fold == QStringLiteral("16列上折1次") || fold == QStringLiteral("16列下折1次")) {
        return Fold::Sixteen1;
    }
    if (fold == QStringLiteral("8列上折7次") || fold == QStringLiteral("8列下折7次")) {
        return Fold::Eight7;
    }
    return Fold::Unknown;
}

} // namespace

QString ColourKindText(int screenStyle) {
    switch (screenStyle) {
    case 0:
        return QStringLiteral("同步+单色(桌面)");
    case 1:
        return QStringLiteral("同步+双色(桌面)");
    default:
        return QStringLiteral("同步+全彩(桌面)");
    }
}

ColourKind ColourKindOf(const QString& text) {
    if (text == QStringLiteral("同步+全彩") || text == QStringLiteral("同步+全彩(桌面)")) {
        return ColourKind::Full;
    }
    if (text == QStringLiteral("同步+双色") || text == QStringLiteral("同步+双色(桌面)")) {
        return ColourKind::Dual;
    }
    return ColourKind::Single;
}

int PlaneCount(ColourKind kind) {
    return kind == ColourKind::Single ? 1 : 2;
}

QStringList ScanEntries() {
    return {QStringLiteral("16扫 直行"),        QStringLiteral("8扫  直行"),
            QStringLiteral("8扫  8列上折1次"),  QStringLiteral("8扫  8列下折1次"),
            QStringLiteral("4扫  8列上折1次"),  QStringLiteral("4扫  8列下折1次"),
            QStringLiteral("4扫  8列上折3次"),  QStringLiteral("4扫  8列下折3次"),
            QStringLiteral("4扫  16列上折1次"), QStringLiteral("4扫  16列下折1次")};
}

ScanArrangement ScanArrangementOf(int scanIndex) {
    switch (scanIndex) {
    case 1:
        return {QStringLiteral("8扫"), QStringLiteral("直行")};
    case 2:
        return {QStringLiteral("8扫"), QStringLiteral("8列上折1次")};
    case 3:
        return {QStringLiteral("8扫"), QStringLiteral("8列下折1次")};
    case 4:
        return {QStringLiteral("4扫"), QStringLiteral("8列上折1次")};
    case 5:
        return {QStringLiteral("4扫"), QStringLiteral("8列下折1次")};
    case 6:
        return {QStringLiteral("4扫"), QStringLiteral("8列上折3次")};
    case 7:
        return {QStringLiteral("4扫"), QStringLiteral("8列下折3次")};
    case 8:
        return {QStringLiteral("4扫"), QStringLiteral("16列上折1次")};
    case 9:
        return {QStringLiteral("4扫"), QStringLiteral("16列下折1次")};
    default:
        return {QStringLiteral("16扫"), QStringLiteral("直行")};
    }
}

int RowsPerGroup(int scanIndex) {
    switch (scanIndex) {
    case 1:
    case 4:
    case 5:
    case 8:
    case 9:
        return 8;
    default:
        return 16;
    }
}

int PlaneLength(const QString& scan, const QString& fold, int width, int previous) {
    const int w = std::max(width, 0);
    const Fold f = FoldOf(fold);
    if (scan == QStringLiteral("16扫")) {
        return 16 * w;
    }
    // Rows are the multipliers for straight, 8-column x1, x3, 16-column x1 and
    // 8-column x7 folding; 0 marks a combination the cards do not define.
    static constexpr int kEight[] = {8, 16, 0, 0, 0};
    static constexpr int kFour[] = {4, 8, 16, 8, 0};
    static constexpr int kTwo[] = {2, 4, 8, 0, 0};
    static constexpr int kOther[] = {1, 2, 4, 0, 8};
    if (f == Fold::Unknown) {
        return previous;
    }
    const int* row = kOther;
    if (scan == QStringLiteral("8扫")) {
        row = kEight;
    } else if (scan == QStringLiteral("4扫")) {
        row = kFour;
    } else if (scan == QStringLiteral("2扫")) {
        row = kTwo;
    }
    const int factor = row[static_cast<int>(f)];
    return factor == 0 ? previous : factor * w;
}

void FrameStore::Reserve(std::size_t bytes) {
    if (m_plane1.size() < bytes) {
        m_plane1.resize(bytes, 0);
        m_plane2.resize(bytes, 0);
    }
}

std::span<std::uint8_t> FrameStore::Plane(int plane) {
    return plane == 2 ? std::span<std::uint8_t>(m_plane2) : std::span<std::uint8_t>(m_plane1);
}

std::span<const std::uint8_t> FrameStore::Plane(int plane) const {
    return plane == 2 ? std::span<const std::uint8_t>(m_plane2)
                      : std::span<const std::uint8_t>(m_plane1);
}

namespace {

inline void PutBit(std::uint8_t& byte, std::uint8_t mask, std::uint8_t channel) {
    // Lit at 128 or more: the top bit of the channel decides.
    const std::uint8_t lit = static_cast<std::uint8_t>(-(channel >> 7));
    byte = static_cast<std::uint8_t>((byte & ~mask) | (lit & mask));
}

} // namespace

void EncodeLiveFrame(const QImage& frame, ColourKind kind, int rowsPerGroup, FrameStore& store) {
    if (frame.isNull() || rowsPerGroup <= 0) {
        return;
    }
    QImage converted;
    const QImage& image = AsRgb888(frame, converted);
    const int width = image.width();
    const int n = rowsPerGroup;
    // Each group takes one bit (two in full colour) of an 8-bit byte.
    const int groups = kind == ColourKind::Full ? 4 : 8;
    const int rows = std::min(image.height(), groups * n);
    store.Reserve(static_cast<std::size_t>(n) * static_cast<std::size_t>(width));
    std::uint8_t* plane1 = store.Plane(1).data();
    std::uint8_t* plane2 = store.Plane(2).data();

    for (int y = 0; y < rows; ++y) {
        const int g = y / n;
        const std::size_t base = static_cast<std::size_t>(y % n) * static_cast<std::size_t>(width);
        const std::uint8_t* px = image.constScanLine(y);
        std::uint8_t* p1 = plane1 + base;
        std::uint8_t* p2 = plane2 + base;
        switch (kind) {
        case ColourKind::Single: {
            const auto mask = static_cast<std::uint8_t>(1u << g);
            for (int x = 0; x < width; ++x, px += 3) {
                PutBit(p1[x], mask, px[0]);
            }
            break;
        }
        case ColourKind::Dual: {
            const auto mask = static_cast<std::uint8_t>(1u << g);
            for (int x = 0; x < width; ++x, px += 3) {
                PutBit(p1[x], mask, px[0]);
                PutBit(p2[x], mask, px[1]);
            }
            break;
        }
        case ColourKind::Full: {
            const auto even = static_cast<std::uint8_t>(1u << (2 * g));
            const auto odd = static_cast<std::uint8_t>(1u << (2 * g + 1));
            for (int x = 0; x < width; ++x, px += 3) {
                PutBit(p1[x], even, px[0]);
                PutBit(p1[x], odd, px[2]);
                PutBit(p2[x], even, px[1]);
            }
            break;
        }
        }
    }
}

namespace {

// One linear pass over one channel (0 red, 1 green of RGB888) from `out` on.
void OfflinePass(const QImage& image, int channel, std::uint8_t* out) {
    int bit = 0;
    std::uint8_t current = 0;
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* px = image.constScanLine(y) + channel;
        for (int x = 0; x < image.width(); ++x, px += 3) {
            // Branch-free: a picture's pixels are no better than random to a predictor.
            current = static_cast<std::uint8_t>(current | ((*px >> 7) << bit));
            if (++bit == 8) {
                *out++ = current;
                current = 0;
                bit = 0;
            }
        }
    }
    if (bit != 0) {
        // The bits after the last pixel belong to the written range and are cleared.
        *out = current;
    }
}

} // namespace

std::size_t EncodeOfflineFrame(const QImage& frame, ColourKind kind,
                               std::vector<std::uint8_t>& buffer) {
    if (kind == ColourKind::Full || frame.isNull()) {
        return 0;
    }
    QImage converted;
    const QImage& image = AsRgb888(frame, converted);
    const std::size_t pass =
        (static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height()) + 7) /
        8;
    const std::size_t total = kind == ColourKind::Dual ? 2 * pass : pass;
    if (buffer.size() < total) {
        buffer.resize(total, 0);
    }
    OfflinePass(image, 0, buffer.data());
    if (kind == ColourKind::Dual) {
        OfflinePass(image, 1, buffer.data() + pass);
    }
    return total;
}
