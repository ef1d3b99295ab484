// The monitor windows on a desktop of two monitors (the offscreen platform
// set up with OPERATOR and STAGE, see TwoMonitors.json): where they stand,
// what they show as the renderer renders, and how they follow a monitor
// that goes and comes back.

#include "ui/MonitorOutputs.h"

#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"
#include "support/Wait.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

bool AllBlack(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            if ((rgb.pixel(x, y) & 0xFFFFFF) != 0) {
                return false;
            }
        }
    }
    return true;
}

QScreen* Stage() {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() == QStringLiteral("STAGE")) {
            return screen;
        }
    }
    return nullptr;
}

class MonitorWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Stage(), nullptr) << "the test runs with two offscreen monitors";
        TScreenParams& params = active.screen(ScreenId::h);
        params.ScreenKind = true;
        params.ScreenWidth = 256;
        params.ScreenHeight = 32;
        active.effect(ScreenId::h).AutoSize = 1;
        active.effect(ScreenId::h).Row = 1;
        active.effect(ScreenId::h).Color = 2;
        renderer.SetLineObserver(&monitors);
    }
    void TearDown() override { renderer.SetLineObserver(nullptr); }

    // The windows draw a rendered line once the render has returned.
    static bool Drawn(const MonitorOutputs& outputs) {
        return WaitUntil([&] { return !outputs.pending(); }, 5000);
    }

    void Use(const QString& monitor, MonitorLayout layout) {
        OutputSettings settings;
        settings.screen(ScreenId::h).monitor = monitor;
        settings.screen(ScreenId::h).layout = layout;
        monitors.Apply(settings);
    }

    TSettings active;
    QtRasteriser rasteriser;
    TextRenderer renderer{active, rasteriser};
    MonitorOutputs monitors{rasteriser};
};

} // namespace

TEST_F(MonitorWindowTest, TheWindowCoversTheChosenMonitorByNameOrNumber) {
    for (const QString& name : {QStringLiteral("STAGE"), QStringLiteral("2")}) {
        SCOPED_TRACE(name.toStdString());
        Use(name, MonitorLayout::Projector);
        MonitorWindow* window = monitors.window(ScreenId::h);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->monitor(), Stage());
        ASSERT_EVENTUALLY(window->isVisible(), 5000);
        EXPECT_EQ(window->geometry(), Stage()->geometry());
        EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_EQ(monitors.window(ScreenId::s), nullptr);
    }
    // A monitor that is not there, and no monitor: no window.
    Use(QStringLiteral("HDMI-9"), MonitorLayout::Projector);
    EXPECT_EQ(monitors.window(ScreenId::h), nullptr);
    Use(QString(), MonitorLayout::Projector);
    EXPECT_EQ(monitors.window(ScreenId::h), nullptr);
}

TEST_F(MonitorWindowTest, LinesBlankingAndTemporaryTextFollowTheScreen) {
    Use(QStringLiteral("STAGE"), MonitorLayout::Projector);
    MonitorWindow* window = monitors.window(ScreenId::h);
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(renderer.RenderSubtitle(ScreenId::h, QStringLiteral("第一句"), {}).failed());
    ASSERT_TRUE(Drawn(monitors));
    // 256 x 32 on 1280 x 720: five times the screen, across the monitor.
    EXPECT_EQ(window->bands().current, QRect(0, 280, 1280, 160));
    ASSERT_EQ(window->canvas().size(), QSize(1280, 160));
    EXPECT_FALSE(AllBlack(window->canvas()));
    const QImage first = window->canvas();

    ASSERT_FALSE(renderer.RenderTempText(ScreenId::h, QStringLiteral("临时"), {}, 0).failed());
    ASSERT_TRUE(Drawn(monitors));
    EXPECT_NE(window->canvas(), first);
    EXPECT_FALSE(AllBlack(window->canvas()));

    ASSERT_FALSE(renderer.RenderSubtitle(ScreenId::h, QString(), QString()).failed());
    ASSERT_TRUE(Drawn(monitors));
    EXPECT_TRUE(AllBlack(window->canvas()));
    // The projector layout has no next line.
    EXPECT_TRUE(window->nextPicture().isNull());
}

TEST_F(MonitorWindowTest, ConfidenceLayoutShowsTheNextLineSmallerBelow) {
    Use(QStringLiteral("STAGE"), MonitorLayout::Confidence);
    MonitorWindow* window = monitors.window(ScreenId::h);
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(
        renderer.RenderSubtitle(ScreenId::h, QStringLiteral("这一句"), QStringLiteral("下一句"))
            .failed());
    ASSERT_TRUE(Drawn(monitors));
    const MonitorBands bands = window->bands();
    EXPECT_LT(bands.current.bottom(), bands.next.top());
    ASSERT_FALSE(window->nextPicture().isNull());
    EXPECT_FALSE(AllBlack(window->nextPicture()));
    EXPECT_LT(window->nextPicture().height(), window->canvas().height());
    // The last line has nothing after it.
    ASSERT_FALSE(renderer.RenderSubtitle(ScreenId::h, QStringLiteral("最后"), {}).failed());
    ASSERT_TRUE(Drawn(monitors));
    EXPECT_TRUE(window->nextPicture().isNull());
    EXPECT_FALSE(AllBlack(window->canvas()));
}

TEST_F(MonitorWindowTest, AnEffectIsPlayedStepByStepToTheStillPicture) {
    Use(QStringLiteral("STAGE"), MonitorLayout::Projector);
    MonitorWindow* window = monitors.window(ScreenId::h);
    ASSERT_NE(window, nullptr);
    window->SetAutoStep(false); // the steps come from the test
    active.effect(ScreenId::h).Effect = 0;
    ASSERT_FALSE(renderer.RenderSubtitle(ScreenId::h, QStringLiteral("进来"), {}).failed());
    ASSERT_TRUE(Drawn(monitors));
    const QImage still = window->canvas();

    active.effect(ScreenId::h).Effect = 4; // in from the right
    active.effect(ScreenId::h).Speed = 32;
    ASSERT_FALSE(renderer.RenderSubtitle(ScreenId::h, QStringLiteral("进来"), {}).failed());
    ASSERT_TRUE(Drawn(monitors));
    EXPECT_TRUE(window->animating());
    EXPECT_TRUE(AllBlack(window->canvas()));
    // 256 pixels at 32 a step on the screen: eight steps on the monitor too.
    for (int i = 0; i < 7; ++i) {
        window->Step();
        EXPECT_NE(window->canvas(), still) << i;
    }
    window->Step();
    EXPECT_EQ(window->canvas(), still);
    EXPECT_FALSE(window->animating());
}

TEST_F(MonitorWindowTest, TheWindowFollowsItsMonitorAwayAndBack) {
    QList<QScreen*> plugged = QGuiApplication::screens();
    monitors.SetMonitorList([&plugged] { return plugged; });
    Use(QStringLiteral("STAGE"), MonitorLayout::Projector);
    ASSERT_FALSE(renderer.RenderSubtitle(ScreenId::h, QStringLiteral("还在"), {}).failed());
    ASSERT_TRUE(Drawn(monitors));
    MonitorWindow* window = monitors.window(ScreenId::h);
    ASSERT_NE(window, nullptr);
    ASSERT_EVENTUALLY(window->isVisible(), 5000);

    // Unplugged: the window goes, and is not put on the operator's monitor.
    plugged.removeAll(Stage());
    monitors.MonitorsChanged();
    EXPECT_EQ(monitors.window(ScreenId::h), nullptr);
    EXPECT_FALSE(window->isVisible());
    // Lines go on meanwhile.
    ASSERT_FALSE(renderer.RenderSubtitle(ScreenId::h, QStringLiteral("回来了"), {}).failed());
    ASSERT_TRUE(Drawn(monitors));

    // Plugged again: back on it, with the line on show now.
    plugged = QGuiApplication::screens();
    monitors.MonitorsChanged();
    MonitorWindow* back = monitors.window(ScreenId::h);
    ASSERT_NE(back, nullptr);
    ASSERT_EVENTUALLY(back->isVisible(), 5000);
    EXPECT_EQ(back->geometry(), Stage()->geometry());
    MonitorWindow reference(ScreenId::h, rasteriser);
    reference.resize(Stage()->size());
    RenderedLine line;
    TextRenderer probe(active, rasteriser);
    struct Catch : LineObserver {
        void LineRendered(ScreenId, const RenderedLine& l) override { line = l; }
        RenderedLine line;
    } caught;
    probe.SetLineObserver(&caught);
    ASSERT_FALSE(probe.RenderSubtitle(ScreenId::h, QStringLiteral("回来了"), {}).failed());
    reference.ShowLine(caught.line);
    EXPECT_EQ(back->canvas(), reference.canvas());
}
