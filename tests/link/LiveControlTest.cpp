// The operator's link commands against simulated cards on loopback, with a
// scripted operator: connect and disconnect across the three screens, their
// messages and status texts, the brightness step, the refusals, and a
// disconnect in the middle of a frame.

#include "LinkTestSupport.h"
#include "LiveTestSupport.h"

#include "link/LiveControl.h"

#include "support/ScriptedOperator.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include <memory>

using namespace std::chrono_literals;

namespace {

const QString kNotConnected = QStringLiteral("未连接屏幕，请先点连接按钮。");

class RecordingHost final : public LiveControlHost {
public:
    std::optional<QString> ReselectLine() override {
        calls << QStringLiteral("reselect");
        return selected;
    }
    void StopPlayback() override { calls << QStringLiteral("stop"); }
    void RefreshCommands() override { calls << QStringLiteral("refresh"); }
    void RenderEmptyLine(ScreenId screen) override {
        calls << QStringLiteral("empty ") + QLatin1Char(ScreenLetter(screen));
    }
    void ShowBrightnessCaption(const QString& caption) override {
        calls << QStringLiteral("caption ") + caption;
    }
    void ShowOfflineTransfer() override { calls << QStringLiteral("offline dialog"); }

    std::optional<QString> selected;
    QStringList calls;
};

// Every screen starts in use, 256 x 32 dual colour (the vertical one 32 x 256).
class LiveControlTest : public ::testing::Test {
protected:
    void Start(const std::vector<SimCardSpec>& cards) {
        m_rig = std::make_unique<LoopbackRig>(cards);
        ASSERT_TRUE(m_rig->ok()) << m_rig->error().toStdString();
        m_worker = std::make_unique<TLedThread>(m_rig->link());
        for (ScreenId screen : kAllScreens) {
            TScreenParams& params = settings.ActiveSettings.screen(screen);
            params.ScreenKind = true;
            params.ScreenStyle = 1;
            m_worker->SetLinkScreenParams(screen, params.ScreenWidth, params.ScreenHeight,
                                          params.ScreenStyle, params.ScanStyle, params.DataPol,
                                          params.OePol);
        }
        m_live = std::make_unique<LiveControl>(m_rig->link(), *m_worker, settings, op, &host);
    }
    void List(ScreenId screen, const std::vector<SimCardSpec>& cards) {
        settings.cards(screen) = CardListOf(cards);
    }
    LiveControl& live() { return *m_live; }
    TLedThread& worker() { return *m_worker; }
    CardBank& bank() { return m_rig->bank(); }
    StationLink& link() { return m_rig->link(); }

    SettingsStore settings;
    ScriptedOperator op;
    RecordingHost host;
    std::unique_ptr<LoopbackRig> m_rig;
    std::unique_ptr<TLedThread> m_worker;
    std::unique_ptr<LiveControl> m_live;
};

} // namespace

TEST_F(LiveControlTest, ConnectWithNoCardsSendsNothingAndStillConnects) {
    Start({});
    host.selected = QStringLiteral("第一句");
    live().Connect();
    EXPECT_TRUE(live().IsConnected());
    EXPECT_FALSE(worker().IsSuspended());
    EXPECT_FALSE(worker().IsSendingPaused());
    EXPECT_EQ(bank().DatagramsHandled(), 0);
    EXPECT_TRUE(op.texts(QStringLiteral("inform")).isEmpty());
    EXPECT_EQ(op.lastStatus(), QStringLiteral("【字幕】 第一句"));
    EXPECT_EQ(host.calls, (QStringList{QStringLiteral("reselect"), QStringLiteral("refresh")}));

    // A second connect while connected changes nothing; F5 disconnects.
    live().Connect();
    EXPECT_EQ(op.texts(QStringLiteral("status")).size(), 1);
    live().ToggleConnection();
    EXPECT_FALSE(live().IsConnected());
    EXPECT_TRUE(worker().IsSuspended());
    EXPECT_EQ(op.lastStatus(), kNotConnected);
    host.selected.reset();
    live().ToggleConnection();
    EXPECT_EQ(op.lastStatus(), QStringLiteral("【字幕】 "));
}

TEST_F(LiveControlTest, ConnectContactsOnlyTheScreensInUse) {
    const SimCardSpec h1 = TestCard(1, ScreenId::h);
    const SimCardSpec h2 = TestCard(2, ScreenId::h);
    const SimCardSpec s1 = TestCard(3, ScreenId::s);
    Start({h1, h2, s1});
    List(ScreenId::h, {h1, h2});
    List(ScreenId::s, {s1});
    settings.ActiveSettings.screen(ScreenId::s).ScreenKind = false;
    settings.ActiveSettings.screen(ScreenId::x).ScreenStyle = 0;
    settings.ActiveSettings.screen(ScreenId::h).ScreenStyle = 2;
    worker().cardOnline().set(ScreenId::s, 0, true);
    worker().cardOnline().set(ScreenId::s, 5, true);
    link().DeactivateAll();

    live().Connect();
    EXPECT_TRUE(op.texts(QStringLiteral("inform")).isEmpty());
    for (const SimCardSpec& card : {h1, h2}) {
        const CardState state = *bank().Card(card.mac);
        EXPECT_TRUE(state.connected);
        EXPECT_EQ(state.mode, CardMode::Sync);
        EXPECT_EQ(CardActions(bank(), card.mac),
                  (QStringList{QStringLiteral("Connect"), QStringLiteral("SyncMode")}));
    }
    EXPECT_TRUE(worker().cardOnline().get(ScreenId::h, 0));
    EXPECT_TRUE(worker().cardOnline().get(ScreenId::h, 1));
    EXPECT_TRUE(CardActions(bank(), s1.mac).isEmpty());
    EXPECT_EQ(worker().cardOnline().count(ScreenId::s), 0);
    EXPECT_TRUE(link().screen(ScreenId::h).IsActive());
    EXPECT_FALSE(link().screen(ScreenId::s).IsActive());

    // The worker now knows each screen's colour kind, plane length and use.
    EXPECT_EQ(worker().linkScreen(ScreenId::h).colourKind, QStringLiteral("同步+全彩(桌面)"));
    EXPECT_EQ(worker().linkScreen(ScreenId::s).colourKind, QStringLiteral("同步+双色(桌面)"));
    EXPECT_EQ(worker().linkScreen(ScreenId::x).colourKind, QStringLiteral("同步+单色(桌面)"));
    for (ScreenId screen : kAllScreens) {
        EXPECT_EQ(worker().linkScreen(screen).planeLength, 4096);
    }
    EXPECT_TRUE(worker().IsScreenInUse(ScreenId::h));
    EXPECT_FALSE(worker().IsScreenInUse(ScreenId::s));
}

TEST_F(LiveControlTest, UnreachableCardsGetOneMessageEachInOrder) {
    SimCardSpec noMode = TestCard(2, ScreenId::s);
    noMode.faults.ignoreModeSwitch = true;
    const SimCardSpec good = TestCard(3, ScreenId::h);
    const SimCardSpec absent = TestCard(0x0A1B, ScreenId::h);
    Start({noMode, good});
    List(ScreenId::h, {absent, good});
    List(ScreenId::s, {noMode});

    live().Connect();
    EXPECT_EQ(op.texts(QStringLiteral("inform")),
              (QStringList{QStringLiteral("02-00-00-00-0A-1B->连接超时！"),
                           QStringLiteral("02-00-00-00-00-02->切换同步模式失败！")}));
    EXPECT_TRUE(live().IsConnected());
    EXPECT_FALSE(worker().cardOnline().get(ScreenId::h, 0));
    EXPECT_TRUE(worker().cardOnline().get(ScreenId::h, 1));
    EXPECT_FALSE(worker().cardOnline().get(ScreenId::s, 0));
    // Five attempts each, and the window kept running its events meanwhile.
    EXPECT_EQ(CardActions(bank(), noMode.mac).count(QStringLiteral("SyncMode")), 5);
    EXPECT_GT(op.processEventsCalls, 20);
}

TEST_F(LiveControlTest, ConnectAndDisconnectCannotBeRestartedWhileTheyWait) {
    // An operator who presses F5 again while the window waits for a card.
    class Impatient final : public ScriptedOperator {
    public:
        void ProcessEvents() override {
            ScriptedOperator::ProcessEvents();
            if (live != nullptr) {
                live->ToggleConnection();
                live->Disconnect();
                live->Connect();
            }
        }
        LiveControl* live = nullptr;
    } impatient;
    const SimCardSpec good = TestCard(1, ScreenId::h);
    Start({good});
    List(ScreenId::h, {TestCard(0x77, ScreenId::h), good});
    LiveControl live(link(), worker(), settings, impatient, &host);
    impatient.live = &live;
    live.Connect();
    EXPECT_GT(impatient.processEventsCalls, 0);
    EXPECT_TRUE(live.IsConnected());
    EXPECT_EQ(impatient.texts(QStringLiteral("inform")).size(), 1);
    EXPECT_EQ(CardActions(bank(), good.mac),
              (QStringList{QStringLiteral("Connect"), QStringLiteral("SyncMode")}));
    live.Disconnect();
    EXPECT_FALSE(live.IsConnected());
    EXPECT_EQ(bank().Card(good.mac)->disconnects, 1);
    impatient.live = nullptr;
}

// While connect or disconnect waits for a card, the commands that must never
// meet a live link (offline transfer, screen parameters, readback, the
// advertisement) are refused as they are when connected.
TEST_F(LiveControlTest, CommandsRefusedWhileConnectedAreRefusedWhileTheLinkChanges) {
    const SimCardSpec good = TestCard(1, ScreenId::h);
    Start({good});
    List(ScreenId::h, {TestCard(0x77, ScreenId::h), good});
    int refused = 0;
    int tried = 0;
    op.onProcessEvents = [&] {
        ++tried;
        refused += live().RefuseWhileConnected() ? 1 : 0;
        live().SwitchOfflineSync();
    };
    live().Connect();
    ASSERT_TRUE(live().IsConnected());
    live().Disconnect();
    op.onProcessEvents = nullptr;
    ASSERT_GT(tried, 0);
    EXPECT_EQ(refused, tried);
    EXPECT_FALSE(host.calls.contains(QStringLiteral("offline dialog")));
    EXPECT_TRUE(op.texts(QStringLiteral("status"))
                    .contains(QStringLiteral("正在连接或断开字幕机，请稍候再试。")));
    // The card was left in sync mode by the connect, never switched offline.
    EXPECT_EQ(CardActions(bank(), good.mac).filter(QStringLiteral("OfflineMode")).size(), 0);
    // Idle and disconnected, the dialog opens again.
    live().SwitchOfflineSync();
    EXPECT_EQ(host.calls.last(), QStringLiteral("offline dialog"));
}

TEST_F(LiveControlTest, DisconnectSaysGoodbyeToEveryCardAndClosesTheListeners) {
    const SimCardSpec h1 = TestCard(1, ScreenId::h);
    const SimCardSpec x1 = TestCard(2, ScreenId::x);
    const SimCardSpec absent = TestCard(0x55, ScreenId::x);
    Start({h1, x1});
    List(ScreenId::h, {h1});
    List(ScreenId::x, {x1, absent});
    live().Connect();
    op.events.clear();
    host.calls.clear();
    worker().cardOnline().set(ScreenId::x, 1, true); // as if it had answered once

    settings.Ad.play = true;
    live().Disconnect();
    EXPECT_FALSE(live().IsConnected());
    EXPECT_TRUE(worker().IsSuspended());
    EXPECT_TRUE(worker().IsSendingPaused());
    for (const SimCardSpec& card : {h1, x1}) {
        const CardState state = *bank().Card(card.mac);
        EXPECT_FALSE(state.connected);
        EXPECT_TRUE(state.startOfflineOnDisconnect);
    }
    EXPECT_FALSE(worker().cardOnline().get(ScreenId::h, 0));
    EXPECT_FALSE(worker().cardOnline().get(ScreenId::x, 0));
    // No answer: silently ignored, the flag stays as it was.
    EXPECT_TRUE(worker().cardOnline().get(ScreenId::x, 1));
    EXPECT_TRUE(op.texts(QStringLiteral("inform")).isEmpty());
    for (ScreenId screen : kAllScreens) {
        EXPECT_FALSE(link().screen(screen).IsActive());
    }
    EXPECT_EQ(op.lastStatus(), kNotConnected);
    EXPECT_EQ(host.calls, (QStringList{QStringLiteral("stop"), QStringLiteral("refresh")}));

    settings.Ad.play = false;
    List(ScreenId::x, {x1});
    live().Connect();
    live().Disconnect();
    EXPECT_FALSE(bank().Card(h1.mac)->startOfflineOnDisconnect);
    EXPECT_EQ(bank().Card(h1.mac)->disconnects, 2);
    // Not connected: nothing to disconnect.
    live().Disconnect();
    EXPECT_EQ(bank().Card(h1.mac)->disconnects, 2);
}

TEST_F(LiveControlTest, ATransferCutByDisconnectCompletesAfterTheNextConnect) {
    SimCardSpec card = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    card.faults.delayMs = 20;
    Start({card});
    List(ScreenId::h, {card});
    settings.ActiveSettings.screen(ScreenId::s).ScreenKind = false;
    settings.ActiveSettings.screen(ScreenId::x).ScreenKind = false;
    live().Connect();
    const QImage frame = NoisePicture(256, 32, 11);
    worker().LoadScreenBitmap(ScreenId::h, frame, {});
    worker().RequestFrame(ScreenId::h);
    ASSERT_TRUE(WaitUntil([&] { return bank().Card(card.mac)->dataSlices >= 2; }));

    live().Disconnect();
    const long long cut = bank().Card(card.mac)->dataSlices;
    EXPECT_LT(cut, 8);
    EXPECT_EQ(bank().Card(card.mac)->disconnects, 1);
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(bank().Card(card.mac)->dataSlices, cut);
    EXPECT_EQ(worker().LastFrame(ScreenId::h).frames, 0);

    live().Connect();
    ASSERT_TRUE(worker().WaitFramesDone(ScreenId::h, 1, 10s));
    const CardState state = *bank().Card(card.mac);
    // The rest of the planes, not the frame again. A slice whose late answer
    // was retried on a loaded machine is taken twice, so the slices are
    // counted by their place in the card's memory, and the transfer after the
    // reconnect must not start again from the first one.
    const QStringList actions = CardActions(bank(), card.mac);
    const QStringList writes = actions.filter(QStringLiteral("WriteData"));
    EXPECT_EQ(QSet<QString>(writes.begin(), writes.end()).size(), 8);
    const qsizetype reconnect = actions.lastIndexOf(QStringLiteral("Connect"));
    ASSERT_GT(reconnect, 0);
    const qsizetype resumed =
        actions.indexOf(QRegularExpression(QStringLiteral("WriteData .*")), reconnect);
    ASSERT_GT(resumed, reconnect);
    EXPECT_NE(actions[resumed], writes.first());
    EXPECT_EQ(state.swaps, 1);
    EXPECT_EQ(bank().Displayed(card.mac), Thresholded(frame, ColourKind::Dual));
    live().Disconnect();
}

TEST_F(LiveControlTest, ADisconnectHoldsEverySenderAndTheirTransfersCompleteAfterTheNextConnect) {
    // One slow card on each screen, so all three transfers are cut halfway.
    std::vector<SimCardSpec> cards;
    for (ScreenId screen : kAllScreens) {
        SimCardSpec card = CardFor(ScreenNumber(screen), screen, 256, 32, 0, 1);
        card.faults.delayMs = 20;
        cards.push_back(card);
    }
    Start(cards);
    for (const SimCardSpec& card : cards) {
        List(card.screen, {card});
    }
    live().Connect();
    std::vector<QImage> frames;
    for (const SimCardSpec& card : cards) {
        frames.push_back(NoisePicture(256, 32, 30 + ScreenNumber(card.screen)));
        worker().LoadScreenBitmap(card.screen, frames.back(), {});
        worker().RequestFrame(card.screen);
    }
    ASSERT_TRUE(WaitUntil([&] {
        return std::all_of(cards.begin(), cards.end(), [&](const SimCardSpec& card) {
            return bank().Card(card.mac)->dataSlices >= 2;
        });
    }));

    live().Disconnect();
    std::vector<long long> cut;
    for (const SimCardSpec& card : cards) {
        cut.push_back(bank().Card(card.mac)->dataSlices);
        EXPECT_EQ(bank().Card(card.mac)->disconnects, 1);
    }
    const long long handled = bank().DatagramsHandled();
    std::this_thread::sleep_for(80ms);
    // No sender slipped past the hold: not a slice more on any screen.
    EXPECT_EQ(bank().DatagramsHandled(), handled);
    for (std::size_t i = 0; i < cards.size(); ++i) {
        SCOPED_TRACE(ScreenLetter(cards[i].screen));
        EXPECT_LT(cut[i], 8);
        EXPECT_EQ(worker().LastFrame(cards[i].screen).frames, 0);
    }

    live().Connect();
    for (std::size_t i = 0; i < cards.size(); ++i) {
        const SimCardSpec& card = cards[i];
        SCOPED_TRACE(ScreenLetter(card.screen));
        ASSERT_TRUE(worker().WaitFramesDone(card.screen, 1, 10s));
        // Counted by their place in memory, as a late answer may be retried.
        const QStringList writes =
            CardActions(bank(), card.mac).filter(QStringLiteral("WriteData"));
        EXPECT_EQ(QSet<QString>(writes.begin(), writes.end()).size(), 8);
        // At least once: a late answer on a loaded machine repeats the swap.
        EXPECT_GE(bank().Card(card.mac)->swaps, 1);
        EXPECT_EQ(bank().Displayed(card.mac), Thresholded(frames[i], ColourKind::Dual));
        EXPECT_EQ(worker().LastFrame(card.screen).shown, 1);
    }
    live().Disconnect();
}

TEST_F(LiveControlTest, BrightnessStepsAndWrapsOnlyWhenTheOperatorSaysSo) {
    std::vector<SimCardSpec> cards{TestCard(1, ScreenId::h), TestCard(2, ScreenId::s),
                                   TestCard(3, ScreenId::x)};
    Start(cards);
    for (const SimCardSpec& card : cards) {
        List(card.screen, {card});
    }
    settings.StoredSettings.Link.Light = 16;
    live().StepBrightness();
    live().LowerBrightness();
    EXPECT_EQ(op.texts(QStringLiteral("inform")),
              (QStringList{QStringLiteral("请先连接字幕机再发送亮度命令。"),
                           QStringLiteral("请先连接字幕机再发送亮度命令。")}));
    EXPECT_EQ(settings.StoredSettings.Link.Light, 16);
    EXPECT_TRUE(host.calls.isEmpty());

    live().Connect();
    // The step past 16 would black out every screen: asked, and a no keeps 16.
    op.yesNoAnswers.push_back(false);
    const qsizetype callsBefore = host.calls.size();
    live().StepBrightness();
    EXPECT_EQ(op.texts(QStringLiteral("ask")),
              QStringList{QStringLiteral("亮度将降为0，屏幕会全黑，确定吗？")});
    EXPECT_EQ(settings.StoredSettings.Link.Light, 16);
    EXPECT_EQ(host.calls.size(), callsBefore);

    // Lowering goes one step down without passing through 0.
    live().LowerBrightness();
    EXPECT_EQ(live().BrightnessLevel(), 15);
    EXPECT_EQ(host.calls.last(), QStringLiteral("caption 调亮(15)"));
    // Twice to every card (the two sends are the same datagram, so a retry
    // after a late answer cannot be told from them: at least twice).
    for (const SimCardSpec& card : cards) {
        const auto sent = [&] {
            return CardActions(bank(), card.mac).filter(QStringLiteral("Brightness 15")).size();
        };
        ASSERT_TRUE(WaitUntil([&] { return sent() >= 2; }, 10s));
    }
    live().StepBrightness();
    EXPECT_EQ(live().BrightnessLevel(), 16);

    op.yesNoAnswers.push_back(true);
    live().StepBrightness();
    EXPECT_EQ(settings.StoredSettings.Link.Light, 0);
    EXPECT_EQ(live().BrightnessLevel(), 0);
    EXPECT_EQ(host.calls.last(), QStringLiteral("caption 调亮(0)"));
    EXPECT_EQ(op.lastStatus(), QStringLiteral("发送亮度命令完毕"));
    // Twice to every card (the two sends are the same datagram, so a retry
    // after a late answer cannot be told from them: at least twice).
    for (const SimCardSpec& card : cards) {
        const auto sent = [&] {
            return CardActions(bank(), card.mac).filter(QStringLiteral("Brightness 0")).size();
        };
        ASSERT_TRUE(WaitUntil([&] { return sent() >= 2; }, 10s));
    }
    // At 0 lowering has nowhere to go and sends nothing.
    const qsizetype captions = host.calls.size();
    live().LowerBrightness();
    EXPECT_EQ(live().BrightnessLevel(), 0);
    EXPECT_EQ(host.calls.size(), captions);
    EXPECT_EQ(op.lastStatus(), QStringLiteral("亮度已是最低"));
    live().StepBrightness();
    EXPECT_EQ(host.calls.last(), QStringLiteral("caption 调亮(1)"));
    EXPECT_EQ(LiveControl::BrightnessCaption(16), QStringLiteral("调亮(16)"));
    live().Disconnect();
}

TEST_F(LiveControlTest, CommandsThatNeedOrRefuseTheLink) {
    Start({});
    // Not connected.
    live().ClearScreens();
    live().Reset();
    live().SwitchOfflineSync();
    EXPECT_FALSE(live().RefuseWhileConnected());
    EXPECT_EQ(op.texts(QStringLiteral("inform")),
              QStringList{QStringLiteral("请先连接字幕机再发送清屏命令。")});
    EXPECT_EQ(op.texts(QStringLiteral("status")), QStringList{kNotConnected});
    EXPECT_EQ(host.calls, QStringList{QStringLiteral("offline dialog")});

    live().Connect();
    op.events.clear();
    host.calls.clear();
    live().ClearScreens();
    live().Reset();
    live().SwitchOfflineSync();
    EXPECT_TRUE(live().RefuseWhileConnected());
    EXPECT_EQ(host.calls, (QStringList{QStringLiteral("empty h"), QStringLiteral("empty s"),
                                       QStringLiteral("empty x")}));
    EXPECT_EQ(
        op.texts(QStringLiteral("status")),
        (QStringList{QStringLiteral("发送清除屏幕命令完毕"), QStringLiteral("发送复位命令完毕")}));
    EXPECT_EQ(op.texts(QStringLiteral("inform")),
              (QStringList{QStringLiteral("请先断开与字幕机的连接。"),
                           QStringLiteral("请先断开与字幕机的连接。")}));
    EXPECT_TRUE(live().IsConnected());
    live().Disconnect();
}

TEST_F(LiveControlTest, APortThatCannotBeBoundIsNamedOnce) {
    const SimCardSpec card = TestCard(1, ScreenId::h);
    Start({card});
    List(ScreenId::h, {card, TestCard(2, ScreenId::h)});
    // Someone else holds the horizontal station port.
    link().DeactivateAll();
    QString error;
    auto squatter = UdpBinding::Open(
        kLoopback, link().config().StationPort(ScreenId::h),
        [](std::span<const std::uint8_t>, Ipv4Address, std::uint16_t) {}, &error);
    ASSERT_TRUE(squatter) << error.toStdString();
    settings.ActiveSettings.screen(ScreenId::s).ScreenKind = false;
    settings.ActiveSettings.screen(ScreenId::x).ScreenKind = false;
    live().Connect();
    const QStringList errors = op.texts(QStringLiteral("error"));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("无法打开通讯端口：")))
        << errors[0].toStdString();
    EXPECT_EQ(op.texts(QStringLiteral("inform")).size(), 2); // both cards: no reply possible
    EXPECT_TRUE(live().IsConnected());
    squatter.reset();
    live().Disconnect();
}

TEST_F(LiveControlTest, ACardTheWorkerReconnectsGetsTheStoredBrightness) {
    const SimCardSpec card = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    Start({card});
    List(ScreenId::h, {card});
    settings.StoredSettings.Link.Light = 5;
    live().Connect();
    // The card drops off (a power cut on stage); the next line reconnects it.
    worker().cardOnline().set(ScreenId::h, 0, false);
    worker().LoadScreenBitmap(ScreenId::h, NoisePicture(256, 32, 3), {});
    worker().RequestFrame(ScreenId::h);
    ASSERT_TRUE(worker().WaitFramesDone(ScreenId::h, 1, 10s));
    ASSERT_TRUE(WaitUntil([&] { return bank().Card(card.mac)->brightness >= 0; }));
    EXPECT_EQ(bank().Card(card.mac)->brightness, 5);
    EXPECT_TRUE(CardActions(bank(), card.mac).filter(QStringLiteral("Brightness 0")).isEmpty());
    live().Disconnect();
}

TEST_F(LiveControlTest, BrightnessReachesTheCardsOfAScreenNotInUse) {
    const SimCardSpec h = TestCard(1, ScreenId::h);
    const SimCardSpec x = TestCard(2, ScreenId::x);
    Start({h, x});
    List(ScreenId::h, {h});
    List(ScreenId::x, {x});
    settings.ActiveSettings.screen(ScreenId::x).ScreenKind = false;
    settings.StoredSettings.Link.Light = 2;
    link().DeactivateAll(); // as at start-up: no listener open before the connect
    live().Connect();
    EXPECT_FALSE(bank().Card(x.mac)->connected); // not contacted by the connect
    live().StepBrightness();
    ASSERT_TRUE(WaitUntil([&] {
        return CardActions(bank(), x.mac).filter(QStringLiteral("Brightness 3")).size() >= 2;
    }));
    EXPECT_EQ(bank().Card(x.mac)->brightness, 3);
    EXPECT_EQ(bank().Card(h.mac)->brightness, 3);
    live().Disconnect();
}

TEST_F(LiveControlTest, AFrameRequestedBeforeNewScreenParametersKeepsItsOwnPlaneLength) {
    SimCardSpec card = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    Start({card});
    List(ScreenId::h, {card});
    settings.ActiveSettings.screen(ScreenId::s).ScreenKind = false;
    settings.ActiveSettings.screen(ScreenId::x).ScreenKind = false;
    // A line selected while disconnected; then the screen is set up wider.
    const QImage frame = NoisePicture(256, 32, 21);
    worker().LoadScreenBitmap(ScreenId::h, frame, {});
    worker().RequestFrame(ScreenId::h);
    worker().SetLinkScreenParams(ScreenId::h, 512, 32, 1, 0, 0, 1);
    settings.ActiveSettings.screen(ScreenId::h).ScreenWidth = 512;

    live().Connect();
    ASSERT_TRUE(worker().WaitFramesDone(ScreenId::h, 1, 10s));
    const CardState state = *bank().Card(card.mac);
    // The slices of a 256 × 32 picture in two colours, not those of a 512-wide one.
    EXPECT_EQ(state.dataSlices, 8);
    EXPECT_EQ(state.extent, 256);
    EXPECT_EQ(bank().Displayed(card.mac), Thresholded(frame, ColourKind::Dual));
    live().Disconnect();
}

TEST_F(LiveControlTest, ATransferCutByDisconnectGoesToTheNewCardListAfterReconnecting) {
    SimCardSpec removed = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    SimCardSpec kept = CardFor(2, ScreenId::h, 256, 32, 0, 1);
    removed.faults.delayMs = 20;
    kept.faults.delayMs = 20;
    Start({removed, kept});
    List(ScreenId::h, {removed, kept});
    settings.ActiveSettings.screen(ScreenId::s).ScreenKind = false;
    settings.ActiveSettings.screen(ScreenId::x).ScreenKind = false;
    live().Connect();
    const QImage frame = NoisePicture(256, 32, 12);
    worker().LoadScreenBitmap(ScreenId::h, frame, {});
    worker().RequestFrame(ScreenId::h);
    ASSERT_TRUE(WaitUntil([&] { return bank().Card(removed.mac)->dataSlices >= 1; }));
    live().Disconnect();
    EXPECT_EQ(worker().LastFrame(ScreenId::h).frames, 0);
    const long long removedSlices = bank().Card(removed.mac)->dataSlices;

    // The operator takes the first card out of the list and connects again.
    List(ScreenId::h, {kept});
    live().Connect();
    ASSERT_TRUE(worker().WaitFramesDone(ScreenId::h, 1, 10s));
    EXPECT_EQ(bank().Card(removed.mac)->dataSlices, removedSlices);
    EXPECT_EQ(bank().Card(removed.mac)->swaps, 0);
    EXPECT_EQ(CardActions(bank(), kept.mac, true).count(QStringLiteral("SwapBuffer")), 1);
    EXPECT_EQ(bank().Displayed(kept.mac), Thresholded(frame, ColourKind::Dual));
    EXPECT_EQ(worker().LastFrame(ScreenId::h).cards, 1);
    live().Disconnect();
}
