// The monitor window on a real X server with two monitors (two screens of
// one Xvfb): it covers the chosen one and the line is on it, as the X
// server's own picture of that screen shows. The parent test starts Xvfb and
// runs this program again on it.

#include "PlatformTestSupport.h"
#include "support/Wait.h"

#include "ui/MonitorOutputs.h"

#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

constexpr char kChildVariable[] = "STATION_MONITOR_X11_CHILD";

// Pixels of the colour in the rectangle of the picture.
int CountColour(const QImage& picture, const QRect& rect, QRgb colour) {
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            count += (picture.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
        }
    }
    return count;
}

} // namespace

TEST(MonitorOnXServer, TheWindowCoversTheSecondMonitorAndShowsTheLine) {
    if (qEnvironmentVariableIsEmpty(kChildVariable)) {
        GTEST_SKIP() << "runs under Xvfb, started by MonitorOnXServerRun.TwoMonitors";
    }
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2);
    QScreen* stage = screens[1];
    ASSERT_EQ(stage->size(), QSize(800, 600));

    TSettings active;
    TScreenParams& params = active.screen(ScreenId::h);
    params.ScreenKind = true;
    params.ScreenWidth = 256;
    params.ScreenHeight = 32;
    active.effect(ScreenId::h).AutoSize = 1;
    active.effect(ScreenId::h).Row = 1;
    active.effect(ScreenId::h).Color = 2; // green
    QtRasteriser rasteriser;
    TextRenderer renderer(active, rasteriser);
    MonitorOutputs monitors(rasteriser);
    renderer.SetLineObserver(&monitors);
    OutputSettings settings;
    settings.screen(ScreenId::h).monitor = QStringLiteral("2");
    monitors.Apply(settings);
    ASSERT_FALSE(renderer.RenderSubtitle(ScreenId::h, QStringLiteral("演出开始"), {}).failed());
    ASSERT_EVENTUALLY(!monitors.pending(), 5000);
    MonitorWindow* window = monitors.window(ScreenId::h);
    ASSERT_NE(window, nullptr);
    ASSERT_EVENTUALLY(window->isVisible() && window->windowHandle()->isExposed(), 10000);
    EXPECT_EQ(window->windowHandle()->screen(), stage);
    EXPECT_EQ(window->geometry(), stage->geometry());

    // The X server's picture of the second screen: the line in green across
    // the middle band, black above and below.
    QImage shot;
    const QRect band = window->bands().current;
    ASSERT_EQ(band, QRect(0, 250, 800, 100));
    const bool shown = WaitUntil([&] {
        shot = stage->grabWindow(0).toImage();
        return CountColour(shot, band, qRgb(0, 255, 0)) > 200;
    });
    if (const QString keep = qEnvironmentVariable("STATION_KEEP_SHOT"); !keep.isEmpty()) {
        shot.save(keep);
    }
    ASSERT_TRUE(shown) << "the line is not on the second screen";
    EXPECT_EQ(CountColour(shot, QRect(0, 0, 800, 250), qRgb(0, 0, 0)), 800 * 250);
    EXPECT_EQ(CountColour(shot, QRect(0, 350, 800, 250), qRgb(0, 0, 0)), 800 * 250);
    // The operator's monitor is left alone.
    const QImage operatorShot = screens[0]->grabWindow(0).toImage();
    EXPECT_EQ(CountColour(operatorShot, operatorShot.rect(), qRgb(0, 255, 0)), 0);
    renderer.SetLineObserver(nullptr);
}

TEST(MonitorOnXServerRun, TwoMonitors) {
    if (!qEnvironmentVariableIsEmpty(kChildVariable)) {
        GTEST_SKIP() << "the child runs the test itself";
    }
    const XvfbChild child =
        RunOnXvfb(QStringLiteral("MonitorOnXServer.*"), kChildVariable,
                  QStringLiteral("640x480x24"), 120000, {QStringLiteral("800x600x24")});
    if (!child.serverFound) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    ASSERT_TRUE(child.started) << child.output.toStdString();
    ASSERT_TRUE(child.finished) << child.output.toStdString();
    EXPECT_EQ(child.exitCode, 0) << child.output.toStdString();
    EXPECT_TRUE(child.output.contains(QStringLiteral("[  PASSED  ] 1 test")))
        << child.output.toStdString();
}
