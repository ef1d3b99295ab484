// The virtual LED wall against a station link: the renderer draws a line,
// the worker sends it to simulated cards on loopback, and the wall must show
// what the cards hold, animated the way the station's preview animates it.

#include "../../link/LiveTestSupport.h"

#include "LedWall.h"

#include "link/LedThread.h"

#include "render/Bitmaps.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;

namespace {

// Three screens in use: h 256 x 32 dual, s 32 x 256 dual (its card 256 x 32),
// x 128 x 16 single colour; one card each.
class LedWallTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_rig = std::make_unique<LoopbackRig>(std::vector<SimCardSpec>{h, s, x});
        ASSERT_TRUE(m_rig->ok()) << m_rig->error().toStdString();
        m_worker = std::make_unique<TLedThread>(m_rig->link());
        active.screen(ScreenId::h) = TScreenParams{true, 1, 256, 32, 1, 0, 0, 1, 0};
        active.screen(ScreenId::s) = TScreenParams{true, 2, 32, 256, 1, 0, 0, 1, 0};
        active.screen(ScreenId::x) = TScreenParams{true, 1, 128, 16, 0, 1, 0, 1, 0};
        for (ScreenId screen : kAllScreens) {
            const TScreenParams& params = active.screen(screen);
            m_worker->SetLinkScreenParams(screen, params.ScreenWidth, params.ScreenHeight,
                                          params.ScreenStyle, params.ScanStyle, 0, 1);
            m_worker->UpdatePlaneLength(screen);
            m_worker->SetScreenInUse(screen, true);
            active.effect(screen).AutoSize = 1;
            active.effect(screen).Color = 3; // yellow where the colours allow
        }
        m_worker->SetCardList(ScreenId::h, CardListOf({h}));
        m_worker->SetCardList(ScreenId::s, CardListOf({s}));
        m_worker->SetCardList(ScreenId::x, CardListOf({x}));
        m_renderer = std::make_unique<TextRenderer>(active, m_rasteriser);
        m_renderer->SetFrameSink(m_worker.get());
        m_worker->SetBrightnessLevel(16); // full: the dots carry the panel's own colours
        m_worker->Resume();
        m_wall = std::make_unique<LedWall>(m_rig->bank());
    }

    // Renders the line on the screen and waits until its card holds it.
    void Show(ScreenId screen, const QString& text) {
        const long long before = m_worker->LastFrame(screen).frames;
        ASSERT_FALSE(m_renderer->RenderSubtitle(screen, text, {}).failed());
        ASSERT_TRUE(m_worker->WaitFramesDone(screen, before + 1, 10s));
    }

    CardBank& bank() { return m_rig->bank(); }

    const SimCardSpec h = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    const SimCardSpec s = CardFor(2, ScreenId::s, 256, 32, 0, 1);
    const SimCardSpec x = CardFor(3, ScreenId::x, 128, 16, 1, 0);
    TSettings active;
    QtRasteriser m_rasteriser;
    std::unique_ptr<LoopbackRig> m_rig;
    std::unique_ptr<TLedThread> m_worker;
    std::unique_ptr<TextRenderer> m_renderer;
    std::unique_ptr<LedWall> m_wall;
};

ColourKind KindOf(ScreenId screen) {
    return screen == ScreenId::x ? ColourKind::Single : ColourKind::Dual;
}

// The colour at the centre of every dot: the panel as the wall drew it.
QImage DotCentres(const QImage& dots, int dotSize) {
    QImage out(dots.width() / dotSize, dots.height() / dotSize, QImage::Format_RGB888);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            out.setPixel(x, y, dots.pixel(x * dotSize + dotSize / 2, y * dotSize + dotSize / 2));
        }
    }
    return out;
}

bool AllBlack(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xffffff) != 0) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

TEST_F(LedWallTest, EveryScreenShowsTheRenderedLinePixelForPixel) {
    for (ScreenId screen : kAllScreens) {
        active.effect(screen).Effect = 0;
        Show(screen, QStringLiteral("今晚演出"));
    }
    m_wall->SetDotSize(3);
    m_wall->Tick();
    for (const SimCardSpec& card : {h, s, x}) {
        const ScreenId screen = card.screen;
        SCOPED_TRACE(ScreenLetter(screen));
        const TScreenParams& params = active.screen(screen);
        const QImage sent = CardFrame(screen, m_renderer->renderBitmap(screen), params.ScreenWidth,
                                      params.ScreenHeight);
        // What the card holds, turned back to the audience's reading...
        const QImage expected = screen == ScreenId::s
                                    ? TurnClockwise(Thresholded(sent, KindOf(screen)))
                                    : Thresholded(sent, KindOf(screen));
        const QImage panel = m_wall->Panel(card.mac);
        ASSERT_EQ(panel.size(), QSize(params.ScreenWidth, params.ScreenHeight));
        EXPECT_EQ(panel, expected);
        // ...which is the station's own preview of the line.
        EXPECT_EQ(panel, Thresholded(m_renderer->previewImage(screen), KindOf(screen)));
        EXPECT_FALSE(AllBlack(panel));
        // The drawn dots carry the same picture at full brightness.
        EXPECT_EQ(DotCentres(m_wall->Dots(card.mac), 3), panel);
    }
    // The vertical screen reads top to bottom for the audience: its panel is
    // taller than wide, and the text's first rows are lit near the top.
    const QImage vertical = m_wall->Panel(s.mac);
    EXPECT_GT(vertical.height(), vertical.width());
    EXPECT_FALSE(AllBlack(vertical.copy(0, 0, 32, 64)));
}

TEST_F(LedWallTest, AnimationsAdvanceAsThePreviewDoesTickByTick) {
    struct Case {
        ScreenId screen;
        int effect;
        int speed;
        int ticks;
    };
    const Case cases[] = {
        {ScreenId::h, 1, 4, 3},   {ScreenId::h, 1, 10, 20}, {ScreenId::h, 2, 2, 5},
        {ScreenId::s, 1, 8, 6},   {ScreenId::s, 2, 3, 4},   {ScreenId::x, 4, 5, 7},
        {ScreenId::x, 2, 4, 100}, // long finished: the whole line stands
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 effect %2 speed %3 ticks %4")
                         .arg(QLatin1Char(ScreenLetter(c.screen)))
                         .arg(c.effect)
                         .arg(c.speed)
                         .arg(c.ticks)
                         .toStdString());
        active.effect(c.screen).Effect = c.effect;
        active.effect(c.screen).Speed = c.speed;
        active.effect(c.screen).RollStay = 0;
        Show(c.screen, QStringLiteral("欢迎光临今晚的演出现场"));
        const SimCardSpec& card = c.screen == ScreenId::h ? h : c.screen == ScreenId::s ? s : x;
        ASSERT_EQ(bank().Card(card.mac)->effect, c.effect);

        m_wall->Tick(); // takes the new SwapBuffer: black, animation armed
        EXPECT_TRUE(AllBlack(m_wall->Panel(card.mac)));
        int previewStep = 0;
        AnimationStep last;
        for (int i = 0; i < c.ticks; ++i) {
            m_wall->Tick();
            last = m_renderer->AnimatePreview(c.screen, {c.effect, c.speed, 0}, previewStep);
            previewStep = last.step;
        }
        EXPECT_EQ(m_wall->Step(card.mac), previewStep);
        EXPECT_EQ(m_wall->IsAnimating(card.mac), last.continues);
        EXPECT_EQ(m_wall->Panel(card.mac),
                  Thresholded(m_renderer->previewImage(c.screen), KindOf(c.screen)));
    }
}

TEST_F(LedWallTest, ScrollAndMoveLandWhereTheStepRulesSay) {
    // Worked by hand on the horizontal screen: a scroll at speed 4 has the
    // picture's first 12 columns at the right edge after three ticks; a move
    // up at speed 2 has its top 10 rows at the bottom after five.
    active.effect(ScreenId::h).Effect = 1;
    active.effect(ScreenId::h).Speed = 4;
    Show(ScreenId::h, QStringLiteral("滚动字幕"));
    const QImage picture = Thresholded(bank().Displayed(h.mac), ColourKind::Dual);
    m_wall->Tick();
    for (int i = 0; i < 3; ++i) {
        m_wall->Tick();
    }
    QImage expected = BlackBitmap(256, 32);
    CopyScaled(picture, QRect(0, 0, 12, 32), expected, QRect(244, 0, 12, 32));
    EXPECT_EQ(m_wall->Step(h.mac), 12);
    EXPECT_EQ(m_wall->Panel(h.mac), expected);

    active.effect(ScreenId::h).Effect = 2;
    active.effect(ScreenId::h).Speed = 2;
    Show(ScreenId::h, QStringLiteral("上移字幕"));
    const QImage moved = Thresholded(bank().Displayed(h.mac), ColourKind::Dual);
    m_wall->Tick();
    for (int i = 0; i < 5; ++i) {
        m_wall->Tick();
    }
    expected = BlackBitmap(256, 32);
    CopyScaled(moved, QRect(0, 0, 256, 10), expected, QRect(0, 22, 256, 10));
    EXPECT_EQ(m_wall->Panel(h.mac), expected);
}

TEST_F(LedWallTest, BrightnessDimsTheDotsAndZeroDrawsNothing) {
    active.effect(ScreenId::h).Effect = 0;
    Show(ScreenId::h, QStringLiteral("亮度"));
    const QImage panel = [&] {
        m_wall->Tick();
        return m_wall->Panel(h.mac);
    }();
    ASSERT_FALSE(AllBlack(panel));
    for (int level : {8, 0}) {
        SCOPED_TRACE(level);
        m_worker->RequestBrightness(level);
        ASSERT_TRUE(QTest::qWaitFor([&] { return bank().Card(h.mac)->brightness == level; }, 5000));
        m_wall->Tick();
        EXPECT_EQ(m_wall->Panel(h.mac), panel); // the card still holds the line
        const QImage dots = m_wall->Dots(h.mac);
        if (level == 0) {
            EXPECT_TRUE(AllBlack(dots));
        } else {
            QImage dimmed = panel;
            for (int y = 0; y < dimmed.height(); ++y) {
                for (int x = 0; x < dimmed.width(); ++x) {
                    const QRgb c = panel.pixel(x, y);
                    dimmed.setPixel(x, y, qRgb(qRed(c) * level / 16, qGreen(c) * level / 16, 0));
                }
            }
            EXPECT_EQ(DotCentres(dots, m_wall->dotSize()), dimmed);
        }
        EXPECT_TRUE(m_wall->StateLine(h.mac).contains(QStringLiteral("亮度 %1").arg(level)));
    }
}

TEST_F(LedWallTest, AKilledCardSaysSoInItsStateLine) {
    active.effect(ScreenId::h).Effect = 0;
    Show(ScreenId::h, QStringLiteral("第一句"));
    m_wall->Tick();
    EXPECT_FALSE(m_wall->StateLine(h.mac).contains(QStringLiteral("无应答")));
    EXPECT_TRUE(m_wall->StateLine(h.mac).contains(QStringLiteral("帧 1")));
    const QImage shown = m_wall->Panel(h.mac);

    CardFaults dead;
    dead.stopAfterSlices = 0;
    bank().SetFaults(h.mac, dead);
    ASSERT_FALSE(m_renderer->RenderSubtitle(ScreenId::h, QStringLiteral("第二句"), {}).failed());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bank().Card(h.mac)->answering; }, 10000));
    m_wall->Tick();
    const QString line = m_wall->StateLine(h.mac);
    EXPECT_TRUE(line.contains(QStringLiteral("无应答"))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("0 片后停止"))) << line.toStdString();
    // It still shows the last line it took.
    EXPECT_EQ(m_wall->Panel(h.mac), shown);
    // The other cards are untouched.
    EXPECT_FALSE(m_wall->StateLine(s.mac).contains(QStringLiteral("无应答")));
}

TEST(LedWallStateText, ModesAndOfflineOnDisconnect) {
    CardState state;
    state.connected = true;
    state.mode = CardMode::Sync;
    state.brightness = 12;
    state.swaps = 7;
    EXPECT_EQ(LedWall::StateText(state), QStringLiteral("已连接 · 同步 · 亮度 12 · 帧 7"));
    // Told "yes" at the disconnect: the card goes to its offline programme.
    state.connected = false;
    state.startOfflineOnDisconnect = true;
    EXPECT_TRUE(LedWall::StateText(state).startsWith(QStringLiteral("未连接 · 脱机 offline")));
    state.startOfflineOnDisconnect = false;
    EXPECT_TRUE(LedWall::StateText(state).startsWith(QStringLiteral("未连接 · 同步")));
    state.setup.faults.dropPercent = 30;
    EXPECT_TRUE(LedWall::StateText(state).endsWith(QStringLiteral("故障: 丢包 30%")));
}
