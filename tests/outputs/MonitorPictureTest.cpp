// A line drawn again for a monitor: the screen's layout at the monitor's
// scale, and where the projector and confidence layouts put it.

#include "outputs/MonitorPicture.h"

#include "render/QtRasteriser.h"

#include <gtest/gtest.h>

namespace {

// The lit pixels' bounding box and the colour most of them have.
struct Lit {
    QRect box;
    QRgb colour = 0;
};

Lit LitPixels(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    Lit lit;
    std::map<QRgb, int> counts;
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb pixel = rgb.pixel(x, y) & 0xFFFFFF;
            if (pixel != 0) {
                lit.box = lit.box.united(QRect(x, y, 1, 1));
                ++counts[pixel];
            }
        }
    }
    int most = 0;
    for (const auto& [colour, count] : counts) {
        if (count > most) {
            most = count;
            lit.colour = colour;
        }
    }
    return lit;
}

RenderedLine Line(int align, const QString& text) {
    RenderedLine line;
    line.request.frameWidth = 128;
    line.request.frameHeight = 16;
    line.request.face = QStringLiteral("宋体");
    line.request.sizeMode = SizeMode::FitBoth;
    line.request.align = align;
    line.request.colour = 0xFF00FF00;
    line.row1 = text;
    return line;
}

} // namespace

TEST(MonitorPictureTest, TheLayoutIsTheScreensAtTheMonitorsScale) {
    QtRasteriser rasteriser;
    for (int align : {1, 2, 3}) {
        SCOPED_TRACE(align);
        const RenderedLine line = Line(align, QStringLiteral("演出"));
        const MonitorLine led = LayOutForMonitor(rasteriser, ScreenId::h, line, 1.0);
        const MonitorLine big = LayOutForMonitor(rasteriser, ScreenId::h, line, 6.0);
        EXPECT_EQ(led.area, QSize(128, 16));
        EXPECT_EQ(big.area, QSize(768, 96));
        const Lit small = LitPixels(led.picture);
        const Lit large = LitPixels(big.picture);
        ASSERT_FALSE(small.box.isEmpty());
        ASSERT_FALSE(large.box.isEmpty());
        // The screen's colour, and the text against the edge (or in the
        // middle) the screen has it at, about six times as large: glyphs of a
        // 16-pixel font are not exactly a sixth of the same glyphs at 96.
        EXPECT_EQ(large.colour, 0x00FF00u);
        const int tolerance = 3 * 6; // three of the screen's pixels
        switch (align) {
        case 1:
            EXPECT_NEAR(large.box.left(), 6 * small.box.left(), tolerance);
            break;
        case 2:
            EXPECT_NEAR(large.box.center().x(), 6 * small.box.center().x(), tolerance);
            break;
        default:
            EXPECT_NEAR(768 - (large.box.x() + large.box.width()),
                        6 * (128 - (small.box.x() + small.box.width())), tolerance);
            break;
        }
        EXPECT_NEAR(large.box.width(), 6 * small.box.width(), 0.12 * 6 * small.box.width());
        EXPECT_NEAR(large.box.height(), 6 * small.box.height(), 0.12 * 6 * small.box.height());
        // Drawn at that size, not the LED picture blown up: the large picture
        // has detail the LED one cannot have.
        const QImage blownUp = led.picture.scaled(big.picture.size());
        EXPECT_NE(big.picture.convertToFormat(QImage::Format_RGB888),
                  blownUp.convertToFormat(QImage::Format_RGB888));
    }
}

TEST(MonitorPictureTest, TheVerticalScreenStandsUpright) {
    QtRasteriser rasteriser;
    RenderedLine line = Line(1, QStringLiteral("竖"));
    // A vertical screen 16 wide and 128 high whose text ran across its axes:
    // laid out 128 x 16 and turned.
    line.turned = true;
    const MonitorLine big = LayOutForMonitor(rasteriser, ScreenId::s, line, 4.0);
    EXPECT_EQ(big.area, QSize(64, 512));
    EXPECT_EQ(big.picture.width(), 64);
    EXPECT_EQ(big.axes, AnimationAxes::VerticalScreen);
}

TEST(MonitorPictureTest, EffectsKeepTheirPaceAtTheMonitorsScale) {
    QtRasteriser rasteriser;
    RenderedLine line = Line(1, QStringLiteral("左移"));
    line.effect = FrameEffect{4, 8, 0};
    const MonitorLine big = LayOutForMonitor(rasteriser, ScreenId::h, line, 5.0);
    EXPECT_EQ(big.effect.effect, 4);
    EXPECT_EQ(big.effect.speed, 40);
    // As many steps as the screen's to bring the line in.
    QImage canvas(big.area, QImage::Format_RGB888);
    canvas.fill(Qt::black);
    int step = 0;
    int steps = 0;
    for (; steps < 100; ++steps) {
        const AnimationStep next = StepMonitorLine(big, step, canvas);
        step = next.step;
        if (step >= big.area.width()) {
            break;
        }
    }
    EXPECT_EQ(steps + 1, 128 / 8);
}

TEST(MonitorPictureTest, BandsOfTheTwoLayouts) {
    struct Case {
        MonitorLayout layout;
        QSize monitor;
        QSize screen;
        QRect current;
        QRect next;
    };
    const Case cases[] = {
        // A 8:1 line across a 16:9 projector, in the middle.
        {MonitorLayout::Projector, {1920, 1080}, {256, 32}, {0, 420, 1920, 240}, {}},
        // A tall screen on a landscape monitor: as high as the monitor.
        {MonitorLayout::Projector, {1280, 720}, {32, 256}, {595, 0, 90, 720}, {}},
        // The current line in the top two thirds, the next one at most half
        // as large below.
        {MonitorLayout::Confidence,
         {1920, 1080},
         {256, 32},
         {0, 240, 1920, 240},
         {480, 840, 960, 120}},
        // A short, wide monitor: the height decides both.
        {MonitorLayout::Confidence,
         {1920, 300},
         {256, 32},
         {160, 0, 1600, 200},
         {560, 200, 800, 100}},
    };
    for (const Case& c : cases) {
        const MonitorBands bands = BandsFor(c.layout, c.monitor, c.screen);
        EXPECT_EQ(bands.current, c.current);
        EXPECT_EQ(bands.next, c.next);
        EXPECT_TRUE(QRect(QPoint(), c.monitor).contains(bands.current));
    }
}

TEST(MonitorPictureTest, TheNextLineIsTheSubtitlesSecondRowOnly) {
    RenderedLine line = Line(1, QStringLiteral("这一句"));
    line.row2 = QStringLiteral("下一句");
    line.request.singleRow = false;
    line.effect = FrameEffect{1, 4, 2};
    const RenderedLine next = NextLineOf(line);
    EXPECT_EQ(next.row1, QStringLiteral("下一句"));
    EXPECT_TRUE(next.row2.isEmpty());
    EXPECT_TRUE(next.request.singleRow);
    EXPECT_EQ(next.effect.effect, 0);
    // The temporary text and the advertisement have no next line.
    line.request.kind = RenderKind::TempText;
    EXPECT_TRUE(NextLineOf(line).row1.isEmpty());
}
