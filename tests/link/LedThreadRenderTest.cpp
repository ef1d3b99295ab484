// A rendered line the whole way: TextRenderer draws it, hands the frame to the
// worker as its FrameSink, and the simulated cards show it. Kept apart from
// the thread tests because Qt's text drawing runs threads of its own that
// ThreadSanitizer cannot follow.

#include "LiveTestSupport.h"

#include "link/LedThread.h"

#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(WorkerRenderTest, RenderedLinesReachTheCardsOfEveryScreen) {
    const SimCardSpec h = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    const SimCardSpec s = CardFor(2, ScreenId::s, 256, 32, 0, 1);
    const SimCardSpec x = CardFor(3, ScreenId::x, 128, 16, 1, 0);
    LoopbackRig rig({h, s, x});
    ASSERT_TRUE(rig.ok()) << rig.error().toStdString();
    TLedThread worker(rig.link());

    TSettings active;
    active.screen(ScreenId::h) = TScreenParams{true, 1, 256, 32, 1, 0, 0, 1, 0};
    active.screen(ScreenId::s) = TScreenParams{true, 2, 32, 256, 1, 0, 0, 1, 0};
    active.screen(ScreenId::x) = TScreenParams{true, 1, 128, 16, 0, 1, 0, 1, 0};
    for (ScreenId screen : kAllScreens) {
        const TScreenParams& params = active.screen(screen);
        worker.SetLinkScreenParams(screen, params.ScreenWidth, params.ScreenHeight,
                                   params.ScreenStyle, params.ScanStyle, 0, 1);
        worker.UpdatePlaneLength(screen);
        worker.SetScreenInUse(screen, true);
        active.effect(screen).AutoSize = 1;
    }
    active.effect(ScreenId::h).Color = 3; // yellow: both planes carry the text
    active.effect(ScreenId::s).Color = 2;
    active.effect(ScreenId::h).Speed = 4;
    worker.SetCardList(ScreenId::h, CardListOf({h}));
    worker.SetCardList(ScreenId::s, CardListOf({s}));
    worker.SetCardList(ScreenId::x, CardListOf({x}));
    QtRasteriser rasteriser;
    TextRenderer renderer(active, rasteriser);
    renderer.SetFrameSink(&worker);
    worker.Resume();

    for (ScreenId screen : kAllScreens) {
        ASSERT_FALSE(renderer.RenderSubtitle(screen, QStringLiteral("今晚演出"), {}).failed());
    }
    for (ScreenId screen : kAllScreens) {
        ASSERT_TRUE(worker.WaitFramesDone(screen, 1, 10s));
        EXPECT_EQ(worker.LastFrame(screen).shown, 1);
    }
    // Offline cards were connected by the worker itself first.
    EXPECT_EQ(CardActions(rig.bank(), h.mac).first(), QStringLiteral("Connect"));

    struct Case {
        ScreenId screen;
        SimCardSpec card;
        ColourKind kind;
        QSize size;
    };
    for (const Case& c : {Case{ScreenId::h, h, ColourKind::Dual, {256, 32}},
                          Case{ScreenId::s, s, ColourKind::Dual, {256, 32}},
                          Case{ScreenId::x, x, ColourKind::Single, {128, 16}}}) {
        SCOPED_TRACE(ScreenLetter(c.screen));
        const QImage sent =
            CardFrame(c.screen, renderer.renderBitmap(c.screen),
                      active.screen(c.screen).ScreenWidth, active.screen(c.screen).ScreenHeight);
        ASSERT_EQ(sent.size(), c.size);
        EXPECT_EQ(worker.ScreenBitmap(c.screen), sent);
        const QImage shown = rig.bank().Displayed(c.card.mac);
        EXPECT_EQ(shown, Thresholded(sent, c.kind));
        QImage black(c.size, QImage::Format_RGB888);
        black.fill(Qt::black);
        EXPECT_NE(shown, black);
    }
    EXPECT_EQ(rig.bank().Card(h.mac)->speed, 4);
}
