// A rendered picture goes the whole way: live encoding, WriteData slices over
// UDP on loopback into a simulated card, SwapBuffer, and the card's own
// decoding with its parameter block must show the picture pixel for pixel.

#include "LoopbackRig.h"

#include "link/DataSlices.h"
#include "link/FrameEncoding.h"
#include "link/StationLink.h"
#include "support/Pictures.h"

#include <QFont>
#include <QPainter>

#include <gtest/gtest.h>

#include <random>

namespace {

// Noise (so every bit position is exercised, values on both sides of 128)
// under drawn text and shapes in the colours the screens use.
QImage TestPicture(int width, int height, unsigned seed) {
    QImage image = NoisePicture(width, height, seed);
    QPainter painter(&image);
    painter.fillRect(QRect(width / 3, 0, width / 4, height / 2), QColor(255, 255, 0));
    painter.setPen(QColor(255, 0, 0));
    QFont font(QStringLiteral("WenQuanYi Zen Hei"));
    font.setPixelSize(std::max(8, height / 2));
    painter.setFont(font);
    painter.drawText(QRect(0, 0, width, height), Qt::AlignCenter, QStringLiteral("舞台字幕 Act 1"));
    painter.setPen(QColor(0, 255, 0));
    painter.drawLine(0, height - 1, width - 1, 0);
    painter.end();
    return image;
}

// What the card should show for a source pixel: each channel the encoding
// carries, fully on or off.
void ExpectedPixel(const std::uint8_t* src, ColourKind kind, std::uint8_t out[3]) {
    out[0] = src[0] >= 128 ? 255 : 0;
    out[1] = (kind != ColourKind::Single && src[1] >= 128) ? 255 : 0;
    out[2] = (kind == ColourKind::Full && src[2] >= 128) ? 255 : 0;
}

// The part of a frame transfer the worker thread does for one card.
bool SendFrame(StationLink& link, ScreenId screen, const MacAddress& mac, const FrameStore& store,
               ColourKind kind, int planeLength, int extent) {
    ScreenLink& screenLink = link.screen(screen);
    for (int plane = 1; plane <= PlaneCount(kind); ++plane) {
        const auto bytes = store.Plane(plane);
        for (const DataSlice& slice :
             SlicePlane(planeLength, plane == 1 ? kPlane1Unit : kPlane2Unit)) {
            const Command command =
                link.commands().WriteData(mac, slice.unit,
                                          bytes.subspan(static_cast<std::size_t>(slice.offset),
                                                        static_cast<std::size_t>(slice.length)));
            if (!screenLink.Transact(command, LinkBudgets::kFrameSlice)) {
                return false;
            }
        }
    }
    return screenLink.Transact(link.commands().SwapBuffer(mac, 0, 1, 1, extent),
                               LinkBudgets::kFrameSlice);
}

} // namespace

TEST(RoundTripTest, EveryScanIndexAndColourKindShowsThePicture) {
    // Card geometry 256 x 64; the frame is wider than the screen (a long line),
    // so the extent is the frame width and planes end in a short slice.
    constexpr int kCardWidth = 256;
    constexpr int kHeight = 64;
    constexpr int kFrameWidth = 304;
    std::vector<SimCardSpec> cards;
    for (int style = 0; style < 3; ++style) {
        for (int scan = 0; scan < 10; ++scan) {
            SimCardSpec card = TestCard(style * 16 + scan, ScreenFromIndex(scan % 3));
            card.params = MakeCardParams(kCardWidth, kHeight, scan, style);
            cards.push_back(card);
        }
    }
    LoopbackRig rig(cards);
    ASSERT_TRUE(rig.ok()) << rig.error().toStdString();

    for (const SimCardSpec& card : cards) {
        const int scan = card.mac[5] % 16;
        const int style = card.mac[5] / 16;
        const ColourKind kind = ColourKindOf(ColourKindText(style));
        SCOPED_TRACE(
            QStringLiteral("scan %1, %2").arg(scan).arg(ColourKindText(style)).toStdString());

        const QImage picture =
            TestPicture(kFrameWidth, kHeight, static_cast<unsigned>(card.mac[5]));
        const int n = RowsPerGroup(scan);
        FrameStore store;
        EncodeLiveFrame(picture, kind, n, store);
        const ScanArrangement arrangement = ScanArrangementOf(scan);
        const int planeLength = PlaneLength(arrangement.scan, arrangement.fold, kFrameWidth, 0);
        ASSERT_EQ(planeLength, n * kFrameWidth);
        ASSERT_TRUE(
            SendFrame(rig.link(), card.screen, card.mac, store, kind, planeLength, kFrameWidth));

        const QImage shown = rig.bank().Displayed(card.mac);
        ASSERT_EQ(shown.size(), picture.size());
        const int carried = std::min(kHeight, (kind == ColourKind::Full ? 4 : 8) * n);
        int wrong = 0;
        for (int y = 0; y < carried; ++y) {
            const std::uint8_t* src = picture.constScanLine(y);
            const std::uint8_t* got = shown.constScanLine(y);
            for (int x = 0; x < kFrameWidth; ++x) {
                std::uint8_t expected[3];
                ExpectedPixel(src + 3 * x, kind, expected);
                if (!std::equal(expected, expected + 3, got + 3 * x)) {
                    ++wrong;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
        if (kind == ColourKind::Full && n == 8) {
            EXPECT_EQ(carried, 32); // rows 32..63 need bits the byte does not have
        }
    }
}

TEST(RoundTripTest, WideSingleColourLineCrossesUnit50) {
    // Single colour has no plane 2, so a plane far longer than 12800 bytes is fine.
    SimCardSpec card = TestCard(0x99);
    card.params = MakeCardParams(1024, 32, 0, 0);
    LoopbackRig rig({card});
    ASSERT_TRUE(rig.ok()) << rig.error().toStdString();
    const QImage picture = TestPicture(1600, 32, 5);
    FrameStore store;
    EncodeLiveFrame(picture, ColourKind::Single, 16, store);
    const int planeLength = 16 * 1600;
    ASSERT_TRUE(
        SendFrame(rig.link(), ScreenId::h, card.mac, store, ColourKind::Single, planeLength, 1600));
    const QImage shown = rig.bank().Displayed(card.mac);
    ASSERT_EQ(shown.width(), 1600);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 1600; ++x) {
            const bool red = picture.constScanLine(y)[3 * x] >= 128;
            ASSERT_EQ(shown.constScanLine(y)[3 * x], red ? 255 : 0) << x << "," << y;
        }
    }
}
