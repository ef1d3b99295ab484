// The virtual LED wall against a station link: the renderer draws a line,
// the worker sends it to simulated cards on loopback, and the wall must show
// what the cards hold, animated the way the station's preview animates it.

#include "../../link/LiveTestSupport.h"
#include "OfflineFlash.h"

#include "LedWall.h"

#include "link/LedThread.h"

#include "render/Bitmaps.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

#include "support/Pictures.h"

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

    // Renders the line on the screen and waits until its card holds it. On a
    // loaded machine a card may miss its swap's wait and be marked offline;
    // the next frame connects it again, as it would in a show.
    void Show(ScreenId screen, const QString& text) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            const long long before = m_worker->LastFrame(screen).frames;
            ASSERT_FALSE(m_renderer->RenderSubtitle(screen, text, {}).failed());
            ASSERT_TRUE(m_worker->WaitFramesDone(screen, before + 1, 10s));
            const auto frame = m_worker->LastFrame(screen);
            if (frame.shown == frame.cards) {
                return;
            }
        }
        FAIL() << "the card never showed the line";
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
    // A card silenced by its flash-block limit names that limit, not the
    // data-slice one it does not have.
    state.setup.faults = {};
    state.setup.faults.stopAfterFlash = 3;
    EXPECT_TRUE(LedWall::StateText(state).endsWith(QStringLiteral("故障: 闪存 3 块后停止")));
    state.answering = false;
    EXPECT_TRUE(
        LedWall::StateText(state).endsWith(QStringLiteral("故障: 无应答 (闪存 3 块后停止)")))
        << LedWall::StateText(state).toStdString();
}

namespace {

using namespace offline_test;

// Cards the station lets go of with "yes" play their flash on the wall: h and
// s are both 64 x 16 dual-colour cards (s shows 16 x 64 to the audience).
class LedWallOfflineTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_rig = std::make_unique<LoopbackRig>(std::vector<SimCardSpec>{h, s});
        ASSERT_TRUE(m_rig->ok()) << m_rig->error().toStdString();
        m_wall = std::make_unique<LedWall>(m_rig->bank());
    }

    bool Send(const SimCardSpec& card, const Command& command, const WaitBudget& budget) {
        return m_rig->link().screen(card.screen).Transact(command, budget);
    }
    CommandBuffer& commands() { return m_rig->link().commands(); }

    void Connect(const SimCardSpec& card) {
        ASSERT_TRUE(Send(card, commands().Connect(card.mac), LinkBudgets::kConnectSequence));
    }
    void Disconnect(const SimCardSpec& card, bool startOffline) {
        ASSERT_TRUE(Send(card, commands().Disconnect(card.mac, startOffline),
                         LinkBudgets::kDisconnectSequence));
    }
    // In WriteFlash blocks, as the station transfers offline content; blocks
    // that are all erased bytes are left out, as erased flash holds them.
    void WriteFlash(const SimCardSpec& card, const Bytes& flash) {
        for (std::size_t at = kAdvert; at < flash.size(); at += 1024) {
            const auto block =
                std::span(flash).subspan(at, std::min<std::size_t>(1024, flash.size() - at));
            if (std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0xFF; })) {
                continue;
            }
            ASSERT_TRUE(Send(card,
                             commands().WriteFlash(card.mac, static_cast<std::uint32_t>(at), block),
                             LinkBudgets::kOfflineTransfer));
        }
    }
    // A live frame shown directly, card orientation.
    void ShowLive(const SimCardSpec& card, const QImage& picture) {
        FrameStore store;
        EncodeLiveFrame(picture, ColourKind::Dual, 16, store);
        ASSERT_TRUE(Send(card, commands().WriteData(card.mac, 0, store.Plane(1).first(1024)),
                         LinkBudgets::kFrameSlice));
        ASSERT_TRUE(Send(card, commands().WriteData(card.mac, 50, store.Plane(2).first(1024)),
                         LinkBudgets::kFrameSlice));
        ASSERT_TRUE(Send(card, commands().SwapBuffer(card.mac, 0, 1, 0, picture.width()),
                         LinkBudgets::kFrameSlice));
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) {
            m_wall->Tick();
        }
    }
    QString Line(const SimCardSpec& card) const { return m_wall->StateLine(card.mac); }
    QImage Panel(const SimCardSpec& card) const { return m_wall->Panel(card.mac); }

    static constexpr int kHoldTicks = LedWall::kOfflineHoldMs / LedWall::kTickMs;
    const SimCardSpec h = CardFor(21, ScreenId::h, 64, 16, 0, 1);
    const SimCardSpec s = CardFor(22, ScreenId::s, 64, 16, 0, 1);
    std::unique_ptr<LoopbackRig> m_rig;
    std::unique_ptr<LedWall> m_wall;
};

QImage Dual(const QImage& picture) {
    return Thresholded(picture, ColourKind::Dual);
}

// `part` of the picture at `at` on a black panel of `size`.
QImage On(QSize size, const QImage& picture, const QRect& part, QPoint at) {
    QImage panel = BlackBitmap(size.width(), size.height());
    CopyScaled(picture, part, panel, QRect(at, part.size()));
    return panel;
}

} // namespace

TEST_F(LedWallOfflineTest, PlaysTheFlashInOrderAfterAYesDisconnectAndLiveAgainAfterConnect) {
    const QImage live = NoisePicture(64, 16, 1);
    Connect(h);
    ShowLive(h, live);
    m_wall->Tick();
    ASSERT_EQ(Panel(h), Dual(live));

    const TestRecord advert{NoisePicture(64, 16, 2), 0, 1, 0};
    const TestRecord direct{NoisePicture(64, 16, 3), 0, 1, 0};
    const TestRecord up{NoisePicture(64, 16, 4), 2, 4, 0};
    const TestRecord scroll{NoisePicture(100, 16, 5), 1, 8, 0};
    WriteFlash(h, MakeFlash(advert, MakeSubtitleFile({{direct, up}, {scroll}}, ColourKind::Dual),
                            ColourKind::Dual));
    Disconnect(h, true);
    m_wall->Tick();
    EXPECT_TRUE(Line(h).startsWith(QStringLiteral("未连接 · 脱机播放 offline: 广告")))
        << Line(h).toStdString();
    EXPECT_TRUE(m_wall->OfflineProblems(h.mac).isEmpty());
    EXPECT_EQ(Panel(h), Dual(advert.picture));

    // Still items stand their hold time, then the next one starts.
    Ticks(kHoldTicks - 1);
    EXPECT_EQ(Panel(h), Dual(advert.picture));
    m_wall->Tick();
    EXPECT_TRUE(Line(h).contains(QStringLiteral("字幕 1/3"))) << Line(h).toStdString();
    EXPECT_EQ(Panel(h), Dual(direct.picture));
    Ticks(kHoldTicks);
    EXPECT_TRUE(Line(h).contains(QStringLiteral("字幕 2/3"))) << Line(h).toStdString();

    // Up at speed 4 on 16 rows: the top 4 rows at the bottom after one tick,
    // in place after four; then it stands.
    m_wall->Tick();
    EXPECT_EQ(Panel(h), On({64, 16}, Dual(up.picture), QRect(0, 0, 64, 4), {0, 12}));
    Ticks(3);
    EXPECT_EQ(Panel(h), Dual(up.picture));
    EXPECT_FALSE(m_wall->IsAnimating(h.mac));
    Ticks(kHoldTicks - 1);
    EXPECT_TRUE(Line(h).contains(QStringLiteral("字幕 2/3")));
    m_wall->Tick();
    EXPECT_TRUE(Line(h).contains(QStringLiteral("字幕 3/3"))) << Line(h).toStdString();

    // A 100-column scroll at speed 8 enters from the right; after ten ticks
    // columns 16..79 fill the panel; the 21st tick takes it off (8 x 21 >= 64
    // + 100), and the programme starts again.
    m_wall->Tick();
    EXPECT_EQ(Panel(h), On({64, 16}, Dual(scroll.picture), QRect(0, 0, 8, 16), {56, 0}));
    Ticks(9);
    EXPECT_EQ(Panel(h), Dual(scroll.picture).copy(16, 0, 64, 16));
    Ticks(11);
    EXPECT_TRUE(AllBlack(Panel(h)));
    EXPECT_TRUE(Line(h).contains(QStringLiteral("字幕 3/3")));
    m_wall->Tick();
    EXPECT_TRUE(Line(h).contains(QStringLiteral("广告"))) << Line(h).toStdString();
    EXPECT_EQ(Panel(h), Dual(advert.picture));

    // The station connects again: the live picture is back, and new frames show.
    Connect(h);
    m_wall->Tick();
    EXPECT_FALSE(Line(h).contains(QStringLiteral("脱机"))) << Line(h).toStdString();
    EXPECT_EQ(Panel(h), Dual(live));
    const QImage next = NoisePicture(64, 16, 6);
    ShowLive(h, next);
    m_wall->Tick();
    EXPECT_EQ(Panel(h), Dual(next));

    // A new transfer and a new "yes": the flash is read again.
    const TestRecord newAdvert{NoisePicture(64, 16, 7), 0, 1, 0};
    WriteFlash(h, MakeFlash(newAdvert, {}, ColourKind::Dual));
    Disconnect(h, true);
    m_wall->Tick();
    EXPECT_TRUE(Line(h).contains(QStringLiteral("广告")));
    EXPECT_EQ(Panel(h), Dual(newAdvert.picture));
}

TEST_F(LedWallOfflineTest, TheVerticalScreenPlaysItsFlashTurnedAsLiveFrames) {
    // Left on the vertical screen's card is up for the audience: the turned
    // picture rises from the bottom, 8 rows a tick.
    const TestRecord left{NoisePicture(64, 16, 8), 4, 8, 0};
    WriteFlash(
        s, MakeFlash(std::nullopt, MakeSubtitleFile({{left}}, ColourKind::Dual), ColourKind::Dual));
    const QImage audience = TurnClockwise(Dual(left.picture));
    ASSERT_EQ(audience.size(), QSize(16, 64));

    // "no": the card stays dark and idle.
    Connect(s);
    Disconnect(s, false);
    m_wall->Tick();
    EXPECT_FALSE(Line(s).contains(QStringLiteral("脱机"))) << Line(s).toStdString();
    EXPECT_TRUE(AllBlack(Panel(s)));

    Connect(s);
    Disconnect(s, true);
    m_wall->Tick();
    EXPECT_TRUE(Line(s).contains(QStringLiteral("脱机播放 offline: 字幕 1/1")))
        << Line(s).toStdString();
    EXPECT_TRUE(AllBlack(Panel(s)));
    m_wall->Tick();
    EXPECT_EQ(Panel(s), On({16, 64}, audience, QRect(0, 0, 16, 8), {0, 56}));
    Ticks(7);
    EXPECT_EQ(Panel(s), audience);
    // The only item plays again after its hold.
    Ticks(kHoldTicks - 1);
    EXPECT_EQ(Panel(s), audience);
    m_wall->Tick();
    EXPECT_TRUE(AllBlack(Panel(s)));
    EXPECT_TRUE(m_wall->IsAnimating(s.mac));
    m_wall->Tick();
    EXPECT_EQ(Panel(s), On({16, 64}, audience, QRect(0, 0, 16, 8), {0, 56}));
}

TEST_F(LedWallOfflineTest, ABrokenOrEmptyFlashPlaysWhatIsSoundAndSaysWhatIsNot) {
    const TestRecord advert{NoisePicture(64, 16, 9), 0, 1, 0};
    const TestRecord first{NoisePicture(64, 16, 10), 3, 10, 0};
    const TestRecord second{NoisePicture(64, 16, 11), 0, 1, 0};
    const SubtitleFile file = MakeSubtitleFile({{first, second}}, ColourKind::Dual);
    Bytes flash = MakeFlash(advert, file, ColourKind::Dual);
    flash[kFile + file.offsets[1] + 13] ^= 0x01; // the second record's checksum
    Connect(h);
    WriteFlash(h, flash);
    Disconnect(h, true);
    m_wall->Tick();
    EXPECT_TRUE(Line(h).contains(QStringLiteral("广告 · 读不出: 字幕 #2")))
        << Line(h).toStdString();
    ASSERT_EQ(m_wall->OfflineProblems(h.mac).size(), 1);
    EXPECT_TRUE(m_wall->OfflineProblems(h.mac).front().contains(QStringLiteral("校验和错")));
    // Round and round through the advertisement and the one sound record
    // (down at speed 10 takes two ticks before its hold).
    QStringList shows;
    for (int i = 0; i < 5 * kHoldTicks; ++i) {
        m_wall->Tick();
        const QString show = Line(h).section(QStringLiteral(" · "), 1, 1);
        if (shows.isEmpty() || shows.back() != show) {
            shows << show;
        }
    }
    EXPECT_EQ(shows, QStringList({QStringLiteral("脱机播放 offline: 广告"),
                                  QStringLiteral("脱机播放 offline: 字幕 1/1"),
                                  QStringLiteral("脱机播放 offline: 广告"),
                                  QStringLiteral("脱机播放 offline: 字幕 1/1"),
                                  QStringLiteral("脱机播放 offline: 广告")}));

    // Nothing ever written: a dark panel that says so.
    Connect(s);
    Disconnect(s, true);
    Ticks(50);
    EXPECT_TRUE(Line(s).contains(QStringLiteral("脱机播放 offline: 闪存无节目")))
        << Line(s).toStdString();
    EXPECT_TRUE(m_wall->OfflineProblems(s.mac).isEmpty());
    EXPECT_TRUE(AllBlack(Panel(s)));
}
