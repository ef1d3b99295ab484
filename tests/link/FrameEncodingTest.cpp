#include "link/FrameEncoding.h"
#include "support/Pictures.h"

#include <QImage>

#include <gtest/gtest.h>

#include <random>

namespace {

QImage Blank(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(Qt::black);
    return image;
}

void SetPixel(QImage& image, int x, int y, int r, int g, int b) {
    std::uint8_t* px = image.scanLine(y) + 3 * x;
    px[0] = static_cast<std::uint8_t>(r);
    px[1] = static_cast<std::uint8_t>(g);
    px[2] = static_cast<std::uint8_t>(b);
}

bool Lit(const QImage& image, int x, int y, int channel) {
    return image.constScanLine(y)[3 * x + channel] >= 128;
}

} // namespace

TEST(ColourKindTest, TextsAndClasses) {
    EXPECT_EQ(ColourKindText(0), QStringLiteral("同步+单色(桌面)"));
    EXPECT_EQ(ColourKindText(1), QStringLiteral("同步+双色(桌面)"));
    EXPECT_EQ(ColourKindText(2), QStringLiteral("同步+全彩(桌面)"));
    EXPECT_EQ(ColourKindText(7), QStringLiteral("同步+全彩(桌面)"));
    EXPECT_EQ(ColourKindOf(QStringLiteral("同步+全彩")), ColourKind::Full);
    EXPECT_EQ(ColourKindOf(QStringLiteral("同步+全彩(桌面)")), ColourKind::Full);
    EXPECT_EQ(ColourKindOf(QStringLiteral("同步+双色")), ColourKind::Dual);
    EXPECT_EQ(ColourKindOf(QStringLiteral("同步+双色(桌面)")), ColourKind::Dual);
    EXPECT_EQ(ColourKindOf(QStringLiteral("同步+单色(桌面)")), ColourKind::Single);
    EXPECT_EQ(ColourKindOf(QStringLiteral("脱机+双色")), ColourKind::Single);
    EXPECT_EQ(ColourKindOf(QString()), ColourKind::Single);
    EXPECT_EQ(PlaneCount(ColourKind::Single), 1);
    EXPECT_EQ(PlaneCount(ColourKind::Dual), 2);
    EXPECT_EQ(PlaneCount(ColourKind::Full), 2);
}

TEST(ScanTableTest, EntriesTextsAndRowsPerGroup) {
    struct Row {
        int index;
        const char* scan;
        const char* fold;
        int n;
    };
    const Row rows[] = {
        {0, "16扫", "直行", 16},      {1, "8扫", "直行", 8},        {2, "8扫", "8列上折1次", 16},
        {3, "8扫", "8列下折1次", 16}, {4, "4扫", "8列上折1次", 8},  {5, "4扫", "8列下折1次", 8},
        {6, "4扫", "8列上折3次", 16}, {7, "4扫", "8列下折3次", 16}, {8, "4扫", "16列上折1次", 8},
        {9, "4扫", "16列下折1次", 8}, {10, "16扫", "直行", 16},     {-1, "16扫", "直行", 16},
    };
    const QStringList entries = ScanEntries();
    ASSERT_EQ(entries.size(), 10);
    EXPECT_EQ(entries[0], QStringLiteral("16扫 直行"));
    EXPECT_EQ(entries[1], QStringLiteral("8扫  直行"));
    EXPECT_EQ(entries[9], QStringLiteral("4扫  16列下折1次"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        const ScanArrangement arrangement = ScanArrangementOf(row.index);
        EXPECT_EQ(arrangement.scan, QString::fromUtf8(row.scan));
        EXPECT_EQ(arrangement.fold, QString::fromUtf8(row.fold));
        EXPECT_EQ(RowsPerGroup(row.index), row.n);
        if (row.index >= 0 && row.index < 10) {
            // The entry text is the scan text and the fold text.
            EXPECT_TRUE(entries[row.index].startsWith(arrangement.scan));
            EXPECT_TRUE(entries[row.index].endsWith(arrangement.fold));
        }
    }
}

TEST(PlaneLengthTest, WholeTableIncludingUnchangedCells) {
    const int w = 272;
    const int previous = 12345;
    const char* folds[] = {"直行", "8列上折1次", "8列下折3次", "16列上折1次", "8列下折7次"};
    // Factor of W per scan text and fold column; 0 = unchanged.
    struct Row {
        const char* scan;
        int factors[5];
    };
    const Row rows[] = {
        {"16扫", {16, 16, 16, 16, 16}}, {"8扫", {8, 16, 0, 0, 0}}, {"4扫", {4, 8, 16, 8, 0}},
        {"2扫", {2, 4, 8, 0, 0}},       {"1扫", {1, 2, 4, 0, 8}},  {"", {1, 2, 4, 0, 8}},
    };
    for (const Row& row : rows) {
        for (int column = 0; column < 5; ++column) {
            SCOPED_TRACE(std::string(row.scan) + " / " + folds[column]);
            const int expected = row.factors[column] == 0 ? previous : row.factors[column] * w;
            EXPECT_EQ(PlaneLength(QString::fromUtf8(row.scan), QString::fromUtf8(folds[column]), w,
                                  previous),
                      expected);
        }
    }
    // The mirrored fold texts count alike.
    EXPECT_EQ(PlaneLength(QStringLiteral("4扫"), QStringLiteral("8列下折1次"), w, previous), 8 * w);
    EXPECT_EQ(PlaneLength(QStringLiteral("4扫"), QStringLiteral("8列上折3次"), w, previous),
              16 * w);
    EXPECT_EQ(PlaneLength(QStringLiteral("4扫"), QStringLiteral("16列下折1次"), w, previous),
              8 * w);
    EXPECT_EQ(PlaneLength(QStringLiteral("2扫"), QStringLiteral("8列上折7次"), w, previous),
              previous);
    // An unknown fold keeps the previous value except on 16-scan modules.
    EXPECT_EQ(PlaneLength(QStringLiteral("8扫"), QStringLiteral("斜折"), w, previous), previous);
    EXPECT_EQ(PlaneLength(QStringLiteral("16扫"), QStringLiteral("斜折"), w, previous), 16 * w);
    // The edge case of the scan list: 8-scan with a threefold fold is undefined.
    EXPECT_EQ(PlaneLength(QStringLiteral("8扫"), QStringLiteral("8列上折3次"), 512, 777), 777);
}

TEST(PlaneLengthTest, EverySelectableEntryGivesRowsPerGroupTimesWidth) {
    for (int index = 0; index < 10; ++index) {
        const ScanArrangement a = ScanArrangementOf(index);
        for (int w : {64, 256, 272, 2048, 5000}) {
            EXPECT_EQ(PlaneLength(a.scan, a.fold, w, -1), RowsPerGroup(index) * w)
                << index << " " << w;
        }
    }
}

TEST(EncodeLiveFrameTest, DualColour512x32KeepsOtherBits) {
    QImage image = Blank(512, 32);
    SetPixel(image, 7, 5, 255, 0, 0);   // row 5: group 0, red only
    SetPixel(image, 7, 21, 0, 200, 0);  // row 21: group 1, green only
    SetPixel(image, 8, 5, 0, 255, 255); // blue is ignored in dual colour
    FrameStore store;
    store.Reserve(8192 + 100);
    std::fill(store.Plane(1).begin(), store.Plane(1).end(), 0xA5);
    std::fill(store.Plane(2).begin(), store.Plane(2).end(), 0xA5);

    EncodeLiveFrame(image, ColourKind::Dual, 16, store);

    const auto p1 = store.Plane(1);
    const auto p2 = store.Plane(2);
    const std::size_t i = 512 * 5 + 7;
    EXPECT_EQ(p1[i] & 0x03, 0x01); // row 5 red in bit 0, row 21 dark in bit 1
    EXPECT_EQ(p2[i] & 0x03, 0x02); // row 5 green dark, row 21 green lit
    EXPECT_EQ(p1[i + 1] & 0x03, 0x00);
    EXPECT_EQ(p2[i + 1] & 0x03, 0x01);
    for (std::size_t b = 0; b < 8192; ++b) {
        ASSERT_EQ(p1[b] & 0xFC, 0xA4) << b; // bits 2..7 keep 0xA5's 1010 01..
        ASSERT_EQ(p2[b] & 0xFC, 0xA4) << b;
    }
    // Bytes past N x W are not touched.
    for (std::size_t b = 8192; b < p1.size(); ++b) {
        ASSERT_EQ(p1[b], 0xA5);
        ASSERT_EQ(p2[b], 0xA5);
    }
}

TEST(EncodeLiveFrameTest, EveryPixelLandsInItsByteAndBit) {
    // Independent per-pixel check of the interleave for each kind and N.
    for (ColourKind kind : {ColourKind::Single, ColourKind::Dual, ColourKind::Full}) {
        for (int n : {8, 16}) {
            SCOPED_TRACE(static_cast<int>(kind) * 100 + n);
            const QImage image = NoisePicture(80, 128, static_cast<unsigned>(n) * 7 + 1);
            FrameStore store;
            EncodeLiveFrame(image, kind, n, store);
            const int groups = kind == ColourKind::Full ? 4 : 8;
            for (int y = 0; y < std::min(128, groups * n); ++y) {
                for (int x = 0; x < 80; ++x) {
                    const std::size_t i = static_cast<std::size_t>((y % n) * 80 + x);
                    const int g = y / n;
                    const std::uint8_t b1 = store.Plane(1)[i];
                    const std::uint8_t b2 = store.Plane(2)[i];
                    if (kind == ColourKind::Full) {
                        ASSERT_EQ((b1 >> (2 * g)) & 1, Lit(image, x, y, 0));
                        ASSERT_EQ((b1 >> (2 * g + 1)) & 1, Lit(image, x, y, 2));
                        ASSERT_EQ((b2 >> (2 * g)) & 1, Lit(image, x, y, 1));
                        ASSERT_EQ((b2 >> (2 * g + 1)) & 1, 0); // never written
                    } else {
                        ASSERT_EQ((b1 >> g) & 1, Lit(image, x, y, 0));
                        ASSERT_EQ((b2 >> g) & 1, kind == ColourKind::Dual && Lit(image, x, y, 1));
                    }
                }
            }
        }
    }
}

TEST(EncodeLiveFrameTest, FullColourUsesEvenAndOddBits) {
    QImage image = Blank(16, 32);
    SetPixel(image, 0, 0, 255, 255, 255); // group 0
    SetPixel(image, 0, 24, 255, 0, 255);  // group 3
    SetPixel(image, 1, 8, 0, 255, 0);     // group 1
    FrameStore store;
    EncodeLiveFrame(image, ColourKind::Full, 8, store);
    EXPECT_EQ(store.Plane(1)[0], 0b11000011);
    EXPECT_EQ(store.Plane(2)[0], 0b00000001);
    EXPECT_EQ(store.Plane(1)[1], 0);
    EXPECT_EQ(store.Plane(2)[1], 0b00000100);
}

TEST(EncodeLiveFrameTest, RowsBeyondTheBitRangeAreNotEncoded) {
    // N = 8, H = 128, single colour: rows 64..127 would need bits 8..15.
    QImage image = Blank(32, 128);
    for (int y = 64; y < 128; ++y) {
        for (int x = 0; x < 32; ++x) {
            SetPixel(image, x, y, 255, 255, 255);
        }
    }
    FrameStore store;
    EncodeLiveFrame(image, ColourKind::Single, 8, store);
    for (std::size_t b = 0; b < 8 * 32; ++b) {
        ASSERT_EQ(store.Plane(1)[b], 0) << b;
    }
    // Full colour stops at H = 4 N.
    QImage full = Blank(32, 48);
    for (int x = 0; x < 32; ++x) {
        SetPixel(full, x, 40, 255, 255, 255);
    }
    FrameStore fullStore;
    EncodeLiveFrame(full, ColourKind::Full, 8, fullStore);
    for (std::size_t b = 0; b < 8 * 32; ++b) {
        ASSERT_EQ(fullStore.Plane(1)[b], 0) << b;
        ASSERT_EQ(fullStore.Plane(2)[b], 0) << b;
    }
}

TEST(EncodeLiveFrameTest, ThresholdIs128) {
    QImage image = Blank(2, 1);
    SetPixel(image, 0, 0, 127, 127, 127);
    SetPixel(image, 1, 0, 128, 128, 128);
    FrameStore store;
    EncodeLiveFrame(image, ColourKind::Dual, 16, store);
    EXPECT_EQ(store.Plane(1)[0], 0);
    EXPECT_EQ(store.Plane(1)[1], 1);
    EXPECT_EQ(store.Plane(2)[0], 0);
    EXPECT_EQ(store.Plane(2)[1], 1);
}

TEST(EncodeLiveFrameTest, IncompleteLastGroupKeepsOlderBytes) {
    // H = 20 with N = 16: group 1 has rows 16..19 only; bytes of rows 20..31
    // (r = 4..15) keep their bit 1.
    FrameStore store;
    QImage lit = Blank(4, 32);
    lit.fill(Qt::white);
    EncodeLiveFrame(lit, ColourKind::Single, 16, store);
    QImage dark = Blank(4, 20);
    EncodeLiveFrame(dark, ColourKind::Single, 16, store);
    for (int r = 0; r < 16; ++r) {
        const std::uint8_t byte = store.Plane(1)[static_cast<std::size_t>(r * 4)];
        EXPECT_EQ(byte & 1, 0) << r;
        EXPECT_EQ((byte >> 1) & 1, r < 4 ? 0 : 1) << r;
    }
}

TEST(EncodeLiveFrameTest, WidePlanesNeverOverlap) {
    // 16 x 2048 = 32768 bytes per plane: far past the 16000 bytes a shared store
    // would give plane 1 before it runs into plane 2.
    QImage image = Blank(2048, 32);
    image.fill(QColor(255, 0, 0)); // red only: plane 2 must stay all zero
    FrameStore store;
    EncodeLiveFrame(image, ColourKind::Dual, 16, store);
    ASSERT_GE(store.Capacity(), 32768u);
    for (std::size_t b = 0; b < 32768; ++b) {
        ASSERT_EQ(store.Plane(1)[b], 0x03) << b;
        ASSERT_EQ(store.Plane(2)[b], 0x00) << b;
    }
}

TEST(EncodeLiveFrameTest, OtherFormatsAreConvertedAndNullFramesIgnored) {
    QImage argb(8, 16, QImage::Format_ARGB32);
    argb.fill(QColor(0, 255, 0));
    FrameStore store;
    EncodeLiveFrame(argb, ColourKind::Dual, 16, store);
    EXPECT_EQ(store.Plane(1)[0], 0);
    EXPECT_EQ(store.Plane(2)[0], 1);
    FrameStore untouched;
    EncodeLiveFrame(QImage(), ColourKind::Dual, 16, untouched);
    EXPECT_EQ(untouched.Capacity(), 0u);
}

TEST(EncodeOfflineFrameTest, DualColourPasses) {
    QImage image = Blank(64, 16);
    SetPixel(image, 9, 0, 255, 0, 0);
    SetPixel(image, 9, 0, 255, 255, 0);
    SetPixel(image, 0, 1, 0, 255, 0); // pixel 64: byte 8 bit 0 of the green pass
    std::vector<std::uint8_t> buffer(300, 0xEE);
    const std::size_t written = EncodeOfflineFrame(image, ColourKind::Dual, buffer);
    EXPECT_EQ(written, 256u);
    EXPECT_EQ(buffer[1], 0b10);       // red (9, 0)
    EXPECT_EQ(buffer[128 + 1], 0b10); // green (9, 0)
    EXPECT_EQ(buffer[8], 0);
    EXPECT_EQ(buffer[128 + 8], 1);
    for (std::size_t b = 0; b < 256; ++b) {
        if (b != 1 && b != 129 && b != 136) {
            ASSERT_EQ(buffer[b], 0) << b; // every bit of the range rewritten
        }
    }
    EXPECT_EQ(buffer[256], 0xEE);
}

TEST(EncodeOfflineFrameTest, SingleColourMatchesPixelOrderAndGrowsBuffer) {
    const QImage image = NoisePicture(48, 16, 3);
    std::vector<std::uint8_t> buffer;
    ASSERT_EQ(EncodeOfflineFrame(image, ColourKind::Single, buffer), 96u);
    ASSERT_GE(buffer.size(), 96u);
    for (int k = 0; k < 48 * 16; ++k) {
        ASSERT_EQ((buffer[static_cast<std::size_t>(k / 8)] >> (k % 8)) & 1,
                  Lit(image, k % 48, k / 48, 0))
            << k;
    }
}

TEST(EncodeOfflineFrameTest, FullColourWritesNothing) {
    std::vector<std::uint8_t> buffer(64, 0x5A);
    EXPECT_EQ(EncodeOfflineFrame(NoisePicture(16, 16, 1), ColourKind::Full, buffer), 0u);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(64, 0x5A));
}

TEST(EncodeOfflineFrameTest, OddPixelCountStartsGreenOnTheNextByte) {
    QImage image = Blank(3, 3); // 9 pixels: 2 bytes per pass
    image.fill(Qt::white);
    std::vector<std::uint8_t> buffer(8, 0xFF);
    EXPECT_EQ(EncodeOfflineFrame(image, ColourKind::Dual, buffer), 4u);
    EXPECT_EQ(buffer[0], 0xFF);
    EXPECT_EQ(buffer[1], 0x01);
    EXPECT_EQ(buffer[2], 0xFF);
    EXPECT_EQ(buffer[3], 0x01);
}
