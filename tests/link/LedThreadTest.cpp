// The worker thread against simulated cards on loopback: what goes on the wire
// for a frame, what the cards then show, failures and reconnection,
// brightness, the hand-over of frames, pausing and the idle worker.

#include "LinkTestSupport.h"
#include "LiveTestSupport.h"

#include "link/LedThread.h"
#include "link/Replies.h"

#include <gtest/gtest.h>

#include <QSet>

#include <algorithm>
#include <memory>
#include <mutex>

using namespace std::chrono_literals;

namespace {

constexpr auto kFrameLimit = 10s;

// A rig of simulated cards and a worker on its link. Cards start online, as
// after a connect; the worker starts suspended, as the station's does.
class WorkerTest : public ::testing::Test {
protected:
    void Start(const std::vector<SimCardSpec>& cards) {
        m_rig = std::make_unique<LoopbackRig>(cards);
        ASSERT_TRUE(m_rig->ok()) << m_rig->error().toStdString();
        m_worker = std::make_unique<TLedThread>(m_rig->link());
        for (ScreenId screen : kAllScreens) {
            std::vector<SimCardSpec> listed;
            for (const SimCardSpec& card : cards) {
                if (card.screen == screen) {
                    listed.push_back(card);
                }
            }
            m_worker->SetCardList(screen, CardListOf(listed));
            for (std::size_t i = 0; i < listed.size(); ++i) {
                m_worker->cardOnline().set(screen, static_cast<int>(i), true);
            }
        }
    }
    // Screen in use with the geometry of the settings (as the audience sees it).
    void Screen(ScreenId screen, int width, int height, int colourIndex, int scanIndex) {
        worker().SetLinkScreenParams(screen, width, height, colourIndex, scanIndex, 0, 1);
        worker().UpdatePlaneLength(screen);
        worker().SetScreenInUse(screen, true);
    }
    void Send(ScreenId screen, const QImage& frame, FrameEffect effect = {}) {
        worker().LoadScreenBitmap(screen, frame, effect);
        worker().RequestFrame(screen);
    }
    bool WaitFrames(ScreenId screen, long long frames) {
        return worker().WaitFramesDone(screen, frames, kFrameLimit);
    }
    TLedThread& worker() { return *m_worker; }
    CardBank& bank() { return m_rig->bank(); }

    std::unique_ptr<LoopbackRig> m_rig;
    std::unique_ptr<TLedThread> m_worker;
};

QStringList Writes(const QStringList& actions) {
    return actions.filter(QStringLiteral("WriteData"));
}

} // namespace

TEST_F(WorkerTest, DualColourFrameGoesToEveryCardAndIsShown) {
    const std::vector<SimCardSpec> cards{CardFor(1, ScreenId::h, 256, 32, 0, 1),
                                         CardFor(2, ScreenId::h, 256, 32, 0, 1)};
    Start(cards);
    Screen(ScreenId::h, 256, 32, 1, 0);
    worker().Resume();
    const QImage frame = NoisePicture(256, 32, 21);
    Send(ScreenId::h, frame, FrameEffect{0, 3, 2});
    ASSERT_TRUE(WaitFrames(ScreenId::h, 1));

    const QStringList wire{QStringLiteral("WriteData 0 1024"),  QStringLiteral("WriteData 4 1024"),
                           QStringLiteral("WriteData 8 1024"),  QStringLiteral("WriteData 12 1024"),
                           QStringLiteral("WriteData 50 1024"), QStringLiteral("WriteData 54 1024"),
                           QStringLiteral("WriteData 58 1024"), QStringLiteral("WriteData 62 1024"),
                           QStringLiteral("SwapBuffer")};
    for (const SimCardSpec& card : cards) {
        EXPECT_EQ(CardActions(bank(), card.mac, true), wire);
        const CardState state = *bank().Card(card.mac);
        EXPECT_EQ(state.effect, 0);
        EXPECT_EQ(state.speed, 3);
        EXPECT_EQ(state.stay, 2);
        EXPECT_EQ(state.extent, 256);
        EXPECT_EQ(bank().Displayed(card.mac), Thresholded(frame, ColourKind::Dual));
    }
    const FrameReport report = worker().LastFrame(ScreenId::h);
    EXPECT_EQ(report.frames, 1);
    EXPECT_EQ(report.cards, 2);
    EXPECT_EQ(report.shown, 2);
}

TEST_F(WorkerTest, SlicesFollowThePlaneLengthOfEachColourKind) {
    // Single colour 272 x 32 with 8-row scanning: 2176 bytes, one plane.
    // "同步+全彩" without "(桌面)" is full colour and sends plane 2 as well.
    // The vertical screen's frame is turned: 32 x 256 goes out as 256 x 32.
    const SimCardSpec single = CardFor(1, ScreenId::h, 272, 32, 1, 0);
    const SimCardSpec full = CardFor(2, ScreenId::x, 256, 32, 0, 2);
    const SimCardSpec vertical = CardFor(3, ScreenId::s, 256, 32, 0, 1);
    Start({single, full, vertical});
    Screen(ScreenId::h, 272, 32, 0, 1);
    Screen(ScreenId::x, 256, 32, 2, 0);
    worker().SetColourKind(ScreenId::x, QStringLiteral("同步+全彩"));
    Screen(ScreenId::s, 32, 256, 1, 0);
    EXPECT_EQ(worker().linkScreen(ScreenId::s).width, 256);
    worker().Resume();

    const QImage h = NoisePicture(272, 32, 1);
    const QImage x = NoisePicture(256, 32, 2);
    const QImage s = NoisePicture(256, 32, 3);
    Send(ScreenId::h, h);
    Send(ScreenId::x, x);
    Send(ScreenId::s, s);
    ASSERT_TRUE(WaitFrames(ScreenId::h, 1));
    ASSERT_TRUE(WaitFrames(ScreenId::s, 1));
    ASSERT_TRUE(WaitFrames(ScreenId::x, 1));

    EXPECT_EQ(CardActions(bank(), single.mac, true),
              (QStringList{QStringLiteral("WriteData 0 1024"), QStringLiteral("WriteData 4 1024"),
                           QStringLiteral("WriteData 8 128"), QStringLiteral("SwapBuffer")}));
    EXPECT_EQ(bank().Displayed(single.mac), Thresholded(h, ColourKind::Single));
    const LinkScreen link = worker().linkScreen(ScreenId::h);
    EXPECT_EQ(link.planeLength, 2176);
    EXPECT_EQ(link.fullSlices, 2);
    EXPECT_EQ(link.lastSliceBytes, 128);

    const QStringList fullWrites = Writes(CardActions(bank(), full.mac, true));
    EXPECT_EQ(fullWrites.size(), 8);
    EXPECT_TRUE(fullWrites.contains(QStringLiteral("WriteData 50 1024")));
    EXPECT_EQ(bank().Displayed(full.mac), Thresholded(x, ColourKind::Full));

    EXPECT_EQ(Writes(CardActions(bank(), vertical.mac, true)).size(), 8);
    EXPECT_EQ(bank().Displayed(vertical.mac), Thresholded(s, ColourKind::Dual));
}

TEST_F(WorkerTest, ACardThatStopsAnsweringIsMarkedOfflineAndReconnectedWithTheNextFrame) {
    SimCardSpec failing = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    failing.faults.stopAfterSlices = 2;
    const SimCardSpec healthy = CardFor(2, ScreenId::h, 256, 32, 0, 1);
    Start({failing, healthy});
    Screen(ScreenId::h, 256, 32, 1, 0);
    worker().monitor().SetVisible(true);
    worker().RequestBrightness(5);
    worker().Resume();
    ASSERT_TRUE(worker().WaitUntilIdle(kFrameLimit));

    Send(ScreenId::h, NoisePicture(256, 32, 7));
    ASSERT_TRUE(WaitFrames(ScreenId::h, 1));
    ASSERT_TRUE(bank().WaitForDatagrams(bank().DatagramsHandled(), 1s));
    const qsizetype seen = CardActions(bank(), failing.mac).size();
    // Two answered slices, then the third sent 20 times.
    EXPECT_EQ(seen, 2 + 2 + 20);
    EXPECT_EQ(worker().monitor().TakeLines(),
              QStringList{QStringLiteral("横屏") + MacText(failing.mac) +
                          QStringLiteral("发送红色第2个数据包超时")});
    EXPECT_FALSE(worker().cardOnline().get(ScreenId::h, 0));
    EXPECT_TRUE(worker().cardOnline().get(ScreenId::h, 1));
    EXPECT_EQ(bank().Card(failing.mac)->swaps, 0);
    EXPECT_EQ(bank().Card(healthy.mac)->swaps, 1);
    EXPECT_EQ(worker().LastFrame(ScreenId::h).shown, 1);

    // The card answers again; the next frame connects it before its planes,
    // and the reconnection asks for the brightness to be sent again.
    bank().SetFaults(failing.mac, {});
    const QImage second = NoisePicture(256, 32, 8);
    Send(ScreenId::h, second);
    ASSERT_TRUE(WaitFrames(ScreenId::h, 2));
    ASSERT_TRUE(worker().WaitUntilIdle(kFrameLimit));
    ASSERT_TRUE(bank().WaitForDatagrams(bank().DatagramsHandled(), 1s));
    EXPECT_TRUE(worker().cardOnline().get(ScreenId::h, 0));
    EXPECT_EQ(bank().Displayed(failing.mac), Thresholded(second, ColourKind::Dual));
    const QStringList afterFailure = CardActions(bank(), failing.mac).mid(seen);
    ASSERT_GE(afterFailure.size(), 10);
    EXPECT_EQ(afterFailure.first(), QStringLiteral("Connect"));
    EXPECT_EQ(afterFailure.mid(1, 8), Writes(afterFailure));
    EXPECT_EQ(afterFailure[9], QStringLiteral("SwapBuffer"));
    EXPECT_EQ(afterFailure.mid(10),
              (QStringList{QStringLiteral("Brightness 5"), QStringLiteral("Brightness 5")}));
    EXPECT_TRUE(worker().monitor().TakeLines().isEmpty());
}

TEST_F(WorkerTest, EveryTimeOutHasItsMonitorLine) {
    // One failure per card, each at another step of the transfer.
    SimCardSpec redLast = CardFor(1, ScreenId::h, 272, 32, 1, 0);
    redLast.faults.stopAfterSlices = 2; // the short slice after two full ones
    SimCardSpec swapH = CardFor(2, ScreenId::h, 272, 32, 1, 0);
    swapH.faults.ignoreSwap = true;
    SimCardSpec green = CardFor(3, ScreenId::s, 256, 32, 0, 1);
    green.faults.stopAfterSlices = 5; // plane 2, slice 1
    SimCardSpec swapS = CardFor(4, ScreenId::x, 256, 32, 0, 1);
    swapS.faults.ignoreSwap = true;
    SimCardSpec absentH = TestCard(0x100, ScreenId::h); // not in the bank
    SimCardSpec absentX = TestCard(0x101, ScreenId::x);
    Start({redLast, swapH, green, swapS});
    worker().SetCardList(ScreenId::h, CardListOf({redLast, swapH, absentH}));
    worker().SetCardList(ScreenId::x, CardListOf({swapS, absentX}));
    worker().cardOnline().set(ScreenId::h, 2, false);
    worker().cardOnline().set(ScreenId::x, 1, false);
    Screen(ScreenId::h, 272, 32, 0, 1);
    Screen(ScreenId::s, 32, 256, 1, 0);
    Screen(ScreenId::x, 256, 32, 1, 0);
    worker().monitor().SetVisible(true);
    worker().Resume();

    Send(ScreenId::h, NoisePicture(272, 32, 1));
    Send(ScreenId::s, NoisePicture(256, 32, 2));
    Send(ScreenId::x, NoisePicture(256, 32, 3));
    for (ScreenId screen : kAllScreens) {
        ASSERT_TRUE(WaitFrames(screen, 1));
        EXPECT_EQ(worker().LastFrame(screen).shown, 0);
        EXPECT_EQ(worker().cardOnline().count(screen), 0);
    }
    // The screens fail at the same time, so their lines interleave; each line
    // stays whole. The cards of a screen are served together, so a screen's
    // lines come in the order its cards ran out of budget: the absent card's
    // one Connect attempt long before the silent card's twenty slice attempts,
    // and the swap, sent only once every card's data is written, last.
    const QStringList lines = worker().monitor().TakeLines();
    const QString h = QStringLiteral("横屏");
    const QString s = QStringLiteral("纵屏");
    const QString x = QStringLiteral("小屏");
    const QStringList expected[] = {
        {h + MacText(absentH.mac) + QStringLiteral("建立连接超时"),
         h + MacText(redLast.mac) + QStringLiteral("发送红色最后一个数据包超时"),
         h + MacText(swapH.mac) + QStringLiteral("发送切换缓冲超时")},
        {s + MacText(green.mac) + QStringLiteral("发送绿色第1个数据包超时")},
        {x + MacText(absentX.mac) + QStringLiteral("建立连接超时"),
         x + MacText(swapS.mac) + QStringLiteral("交换缓冲超时")},
    };
    qsizetype total = 0;
    for (const QStringList& screenLines : expected) {
        const QString name = screenLines.first().left(2);
        EXPECT_EQ(lines.filter(QRegularExpression(QLatin1Char('^') + name)), screenLines);
        total += screenLines.size();
    }
    EXPECT_EQ(lines.size(), total) << lines.join(QLatin1Char('\n')).toStdString();
}

TEST_F(WorkerTest, EveryScreenWritesItsDataBeforeAnyScreenSwaps) {
    // Screens of different sizes: the small one's data is written long before
    // the others', yet its swap waits for them.
    std::vector<SimCardSpec> cards{
        CardFor(1, ScreenId::h, 256, 32, 0, 1), CardFor(2, ScreenId::h, 256, 32, 0, 1),
        CardFor(3, ScreenId::s, 256, 32, 0, 1), CardFor(4, ScreenId::x, 256, 32, 0, 0)};
    for (SimCardSpec& card : cards) {
        card.faults.delayMs = 2;
    }
    Start(cards);
    Screen(ScreenId::h, 256, 32, 1, 0);
    Screen(ScreenId::s, 32, 256, 1, 0);
    Screen(ScreenId::x, 256, 32, 0, 0);
    worker().Resume();
    // A screen that makes no progress for a whole try is not waited for (its
    // card may be dying), and a loaded machine can stall a healthy card that
    // long: only a frame whose datagrams all went through at once says
    // whether the screens waited for each other. Three frames at the most.
    for (int frame = 1; frame <= 3; ++frame) {
        SCOPED_TRACE(frame);
        const qsizetype from = bank().Log().size();
        for (ScreenId screen : kAllScreens) {
            Send(screen, NoisePicture(256, 32, 40 * frame + ScreenNumber(screen)));
        }
        for (ScreenId screen : kAllScreens) {
            ASSERT_TRUE(WaitFrames(screen, frame));
            EXPECT_EQ(worker().LastFrame(screen).shown, worker().LastFrame(screen).cards);
        }
        const QStringList log = bank().Log().mid(from);
        QSet<QString> sent;
        bool retried = false;
        for (const QString& line : log) {
            const QString datagram = line.section(QStringLiteral(" -> "), 0, 0);
            retried = retried || sent.contains(datagram);
            sent.insert(datagram);
        }
        if (retried && frame < 3) {
            continue;
        }
        const qsizetype lastWrite =
            log.lastIndexOf(QRegularExpression(QStringLiteral(".* WriteData .*")));
        const qsizetype firstSwap =
            log.indexOf(QRegularExpression(QStringLiteral(".* SwapBuffer .*")));
        ASSERT_GE(lastWrite, 0);
        ASSERT_GE(firstSwap, 0);
        EXPECT_LT(lastWrite, firstSwap) << log.join(QLatin1Char('\n')).toStdString();
        // One swap per card; a retry after a late answer is the same swap.
        EXPECT_EQ(QStringList(sent.begin(), sent.end()).filter(QStringLiteral("SwapBuffer")).size(),
                  4);
        return;
    }
}

TEST_F(WorkerTest, ADyingCardOnOneScreenDoesNotHoldBackTheOtherScreens) {
    // Each dying card answers one slice, then costs its whole slice budget
    // (20 x 25 ms); two of them keep the horizontal screen busy for a second.
    const SimCardSpec healthyH = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    SimCardSpec dying1 = CardFor(2, ScreenId::h, 256, 32, 0, 1);
    SimCardSpec dying2 = CardFor(3, ScreenId::h, 256, 32, 0, 1);
    dying1.faults.stopAfterSlices = 1;
    dying2.faults.stopAfterSlices = 1;
    const SimCardSpec small = CardFor(4, ScreenId::x, 256, 32, 0, 0);
    Start({healthyH, dying1, dying2, small});
    Screen(ScreenId::h, 256, 32, 1, 0);
    Screen(ScreenId::x, 256, 32, 0, 0);
    worker().Resume();
    const QImage line = NoisePicture(256, 32, 51);
    Send(ScreenId::h, line);
    Send(ScreenId::x, NoisePicture(256, 32, 52));

    // The small screen swaps without waiting for the retries on the other
    // screen, and its next line does not queue behind them either.
    ASSERT_TRUE(WaitFrames(ScreenId::x, 1));
    EXPECT_EQ(worker().LastFrame(ScreenId::h).frames, 0);
    const QImage next = NoisePicture(256, 32, 53);
    Send(ScreenId::x, next);
    ASSERT_TRUE(WaitFrames(ScreenId::x, 2));
    EXPECT_EQ(worker().LastFrame(ScreenId::h).frames, 0);
    EXPECT_EQ(bank().Card(small.mac)->swaps, 2);
    EXPECT_EQ(bank().Displayed(small.mac), Thresholded(next, ColourKind::Single));
    EXPECT_EQ(worker().LastFrame(ScreenId::x).shown, 1);

    // The dying cards cost their own screen only.
    ASSERT_TRUE(WaitFrames(ScreenId::h, 1));
    EXPECT_EQ(worker().LastFrame(ScreenId::h).shown, 1);
    EXPECT_EQ(bank().Displayed(healthyH.mac), Thresholded(line, ColourKind::Dual));
    EXPECT_FALSE(worker().cardOnline().get(ScreenId::h, 1));
    EXPECT_FALSE(worker().cardOnline().get(ScreenId::h, 2));
}

// The cards of one screen are served together: slice k goes to every card,
// and each card's next datagram goes when its own answer has come. Checked on
// the order of datagrams the cards received, never on the clock.

namespace {

// For each retry of `slow`'s datagrams: every other card that still had
// writes of the frame to receive when `slow` got the previous copy received
// something in between (its next slice, or its own retry), so none of them
// waited for `slow`'s answer. Returns a description of the first violation.
QString WaitedFor(const std::vector<WireEntry>& log, const QString& slow, int writesPerFrame) {
    QHash<QString, int> writes;     // per card: writes of the current frame so far
    QHash<QString, qsizetype> last; // per card: position of its last datagram
    QStringList stillWriting;       // at `slow`'s last copy
    qsizetype slowCopy = -1;
    for (qsizetype at = 0; at < static_cast<qsizetype>(log.size()); ++at) {
        const WireEntry& entry = log[static_cast<std::size_t>(at)];
        if (entry.mac == slow && entry.retry) {
            for (const QString& other : stillWriting) {
                if (last.value(other, -1) < slowCopy) {
                    return other + QStringLiteral(" waited at datagram %1").arg(at);
                }
            }
        }
        if (entry.action.startsWith(QLatin1String("WriteData")) && !entry.retry) {
            ++writes[entry.mac];
        } else if (entry.action == QLatin1String("SwapBuffer")) {
            writes[entry.mac] = 0;
        }
        last[entry.mac] = at;
        if (entry.mac == slow) {
            slowCopy = at;
            stillWriting.clear();
            for (auto it = writes.cbegin(); it != writes.cend(); ++it) {
                if (it.key() != slow && it.value() < writesPerFrame) {
                    stillWriting << it.key();
                }
            }
        }
    }
    return {};
}

} // namespace

TEST_F(WorkerTest, ACardLosingAnswersCostsOnlyItsOwnRetries) {
    std::vector<SimCardSpec> cards;
    for (int i = 0; i < 4; ++i) {
        cards.push_back(CardFor(1 + i, ScreenId::h, 256, 32, 0, 1));
    }
    cards[3].faults.dropPercent = 30;
    Start(cards);
    Screen(ScreenId::h, 256, 32, 1, 0);
    worker().Resume();
    constexpr int kFrames = 6;
    QImage frame;
    for (int f = 0; f < kFrames; ++f) {
        frame = NoisePicture(256, 32, 60 + f);
        Send(ScreenId::h, frame);
        ASSERT_TRUE(WaitFrames(ScreenId::h, f + 1));
    }
    ASSERT_TRUE(bank().WaitForDatagrams(bank().DatagramsHandled(), 1s));

    // Every card, the lossy one too, got each datagram of each frame once and
    // in order (apart from retries of the identical datagram) and shows the last.
    QStringList perFrame;
    for (const char* unit : {"0", "4", "8", "12", "50", "54", "58", "62"}) {
        perFrame << QStringLiteral("WriteData %1 1024").arg(QLatin1String(unit));
    }
    perFrame << QStringLiteral("SwapBuffer");
    QStringList wire;
    for (int f = 0; f < kFrames; ++f) {
        wire << perFrame;
    }
    for (const SimCardSpec& card : cards) {
        EXPECT_EQ(CardActions(bank(), card.mac, true), wire) << MacText(card.mac).toStdString();
        EXPECT_EQ(bank().Displayed(card.mac), Thresholded(frame, ColourKind::Dual));
    }
    EXPECT_EQ(worker().LastFrame(ScreenId::h).shown, 4);

    const std::vector<WireEntry> log = WireLog(bank());
    // Slice 0 of each frame went to the four cards before any of them got slice 1.
    for (qsizetype at = 0; at < static_cast<qsizetype>(log.size()); ++at) {
        if (log[static_cast<std::size_t>(at)].action != QLatin1String("WriteData 0 1024") ||
            log[static_cast<std::size_t>(at)].retry) {
            continue;
        }
        QSet<QString> first;
        for (qsizetype i = at; i < at + 4 && i < static_cast<qsizetype>(log.size()); ++i) {
            EXPECT_EQ(log[static_cast<std::size_t>(i)].action, QStringLiteral("WriteData 0 1024"));
            first.insert(log[static_cast<std::size_t>(i)].mac);
        }
        EXPECT_EQ(first.size(), 4) << "at datagram " << at;
        at += 3;
    }
    // The lossy card did lose answers, and nobody waited for its retries.
    const QString lossy = MacText(cards[3].mac);
    EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                            [&](const WireEntry& e) { return e.mac == lossy && e.retry; }));
    EXPECT_EQ(WaitedFor(log, lossy, 8), QString());
}

TEST_F(WorkerTest, ACardDyingMidFrameIsMarkedOfflineWhileTheOthersFinish) {
    std::vector<SimCardSpec> cards;
    for (int i = 0; i < 4; ++i) {
        cards.push_back(CardFor(1 + i, ScreenId::h, 256, 32, 0, 1));
    }
    cards[1].faults.stopAfterSlices = 3;
    Start(cards);
    Screen(ScreenId::h, 256, 32, 1, 0);
    worker().monitor().SetVisible(true);
    worker().Resume();
    const QImage frame = NoisePicture(256, 32, 70);
    Send(ScreenId::h, frame);
    ASSERT_TRUE(WaitFrames(ScreenId::h, 1));
    ASSERT_TRUE(bank().WaitForDatagrams(bank().DatagramsHandled(), 1s));

    // Three slices answered, the fourth sent twenty times (the silent card
    // logs them without their content), then nothing.
    const SimCardSpec& dying = cards[1];
    QStringList dyingWire{QStringLiteral("WriteData 0 1024"), QStringLiteral("WriteData 4 1024"),
                          QStringLiteral("WriteData 8 1024")};
    for (int attempt = 0; attempt < 20; ++attempt) {
        dyingWire << QStringLiteral("WriteData");
    }
    EXPECT_EQ(CardActions(bank(), dying.mac), dyingWire);
    EXPECT_FALSE(worker().cardOnline().get(ScreenId::h, 1));
    EXPECT_EQ(worker().monitor().TakeLines(),
              QStringList{QStringLiteral("横屏") + MacText(dying.mac) +
                          QStringLiteral("发送红色第3个数据包超时")});

    // The others wrote their whole frame while it was being retried, and show it.
    const std::vector<WireEntry> log = WireLog(bank());
    qsizetype dyingLast = -1;
    for (qsizetype at = 0; at < static_cast<qsizetype>(log.size()); ++at) {
        if (log[static_cast<std::size_t>(at)].mac == MacText(dying.mac)) {
            dyingLast = at;
        }
    }
    for (const int i : {0, 2, 3}) {
        const QString mac = MacText(cards[static_cast<std::size_t>(i)].mac);
        qsizetype lastWrite = -1;
        for (qsizetype at = 0; at < static_cast<qsizetype>(log.size()); ++at) {
            const WireEntry& entry = log[static_cast<std::size_t>(at)];
            if (entry.mac == mac && entry.action.startsWith(QLatin1String("WriteData"))) {
                lastWrite = at;
            }
        }
        EXPECT_LT(lastWrite, dyingLast) << mac.toStdString();
        EXPECT_EQ(Writes(CardActions(bank(), cards[static_cast<std::size_t>(i)].mac, true)).size(),
                  8);
        EXPECT_EQ(bank().Card(cards[static_cast<std::size_t>(i)].mac)->swaps, 1);
        EXPECT_EQ(bank().Displayed(cards[static_cast<std::size_t>(i)].mac),
                  Thresholded(frame, ColourKind::Dual));
        EXPECT_TRUE(worker().cardOnline().get(ScreenId::h, i));
    }
    EXPECT_EQ(bank().Card(dying.mac)->swaps, 0);
    EXPECT_EQ(worker().LastFrame(ScreenId::h).shown, 3);
}

TEST(WorkerReplies, ALateAnswerForAnOldSequenceByteNeverCompletesANewerSlice) {
    // A card scripted datagram by datagram: the first slice's answer is lost
    // and comes for its retry; the counter is then put back so the next slice
    // is offered the same byte again; and the next slice draws only a late
    // answer for that old byte before its own retry is answered.
    const std::optional<int> offset = ProbeFreePortOffset();
    ASSERT_TRUE(offset);
    StationLink link(LinkConfig::Loopback(*offset));
    ASSERT_TRUE(link.screen(ScreenId::h).Activate());
    const std::uint16_t stationPort = link.config().StationPort(ScreenId::h);
    QString error;
    const std::unique_ptr<UdpBinding> out = UdpBinding::Open(
        kLoopback, 0, [](std::span<const std::uint8_t>, Ipv4Address, std::uint16_t) {}, &error);
    ASSERT_TRUE(out) << error.toStdString();
    const auto answer = [&](const QByteArray& text, std::uint8_t seq) {
        std::vector<std::uint8_t> bytes{0, 0};
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.push_back(seq);
        out->SendTo(kLoopback, stationPort, bytes);
    };
    struct Seen {
        int unit = -1; // WriteData; -1 for SwapBuffer
        std::uint8_t seq = 0;
    };
    std::mutex mutex;
    std::vector<Seen> seen;
    const std::unique_ptr<UdpBinding> card = UdpBinding::Open(
        kLoopback, link.config().CardPort(ScreenId::h),
        [&](std::span<const std::uint8_t> d, Ipv4Address, std::uint16_t) {
            std::lock_guard lock(mutex);
            if (d.size() == 14 && d[0] == 0x04) {
                seen.push_back({-1, d[13]});
                answer(ReplyTextFor(kAwaitSwapped), d[13]);
                return;
            }
            if (d.size() != 1039 || d[0] != 0x03) {
                return;
            }
            const Seen slice{d[8] | (d[9] << 8), d[1038]};
            seen.push_back(slice);
            const auto copies = std::count_if(seen.begin(), seen.end(),
                                              [&](const Seen& s) { return s.unit == slice.unit; });
            if (slice.unit == 0 && copies == 1) {
                return; // lost
            }
            if (slice.unit == 0) {
                link.packetSeq().Set(slice.seq);
            } else if (slice.unit == 4 && copies == 1) {
                answer(WrittenSramText(), seen.front().seq); // late, for the old byte
                return;
            }
            answer(WrittenSramText(), slice.seq);
        },
        &error);
    ASSERT_TRUE(card) << error.toStdString();

    TLedThread worker(link);
    worker.SetCardList(ScreenId::h, CardListOf({TestCard(1)}));
    worker.cardOnline().set(ScreenId::h, 0, true);
    worker.SetLinkScreenParams(ScreenId::h, 256, 32, 0, 0, 0, 1); // one plane, four slices
    worker.UpdatePlaneLength(ScreenId::h);
    worker.SetScreenInUse(ScreenId::h, true);
    worker.Resume();
    worker.LoadScreenBitmap(ScreenId::h, NoisePicture(256, 32, 80), {});
    worker.RequestFrame(ScreenId::h);
    ASSERT_TRUE(worker.WaitFramesDone(ScreenId::h, 1, kFrameLimit));
    EXPECT_EQ(worker.LastFrame(ScreenId::h).shown, 1);
    worker.Terminate();

    std::lock_guard lock(mutex);
    std::vector<int> units;
    for (const Seen& s : seen) {
        if (units.empty() || units.back() != s.unit) {
            units.push_back(s.unit);
        }
    }
    EXPECT_EQ(units, (std::vector<int>{0, 4, 8, 12, -1}));
    const auto copiesOf = [&](int unit) {
        std::vector<std::uint8_t> seqs;
        for (const Seen& s : seen) {
            if (s.unit == unit) {
                seqs.push_back(s.seq);
            }
        }
        return seqs;
    };
    const std::vector<std::uint8_t> first = copiesOf(0);
    const std::vector<std::uint8_t> second = copiesOf(4);
    ASSERT_GE(first.size(), 2u);
    // The late answer did not complete the second slice: it was sent again,
    // with its own byte, and the old byte was not handed out again so soon.
    ASSERT_GE(second.size(), 2u);
    EXPECT_NE(second.front(), first.front());
    EXPECT_TRUE(std::all_of(second.begin(), second.end(),
                            [&](std::uint8_t seq) { return seq == second.front(); }));
}

TEST_F(WorkerTest, MonitorLinesAreKeptOnlyWhileTheMonitorIsVisible) {
    Start({});
    Screen(ScreenId::h, 256, 32, 1, 0);
    worker().SetCardList(ScreenId::h, CardListOf({TestCard(9)})); // no such card
    int notified = 0;
    worker().monitor().SetNotifier([&notified] { ++notified; });
    worker().Resume();
    Send(ScreenId::h, NoisePicture(256, 32, 1));
    ASSERT_TRUE(WaitFrames(ScreenId::h, 1));
    EXPECT_TRUE(worker().monitor().TakeLines().isEmpty());
    worker().monitor().SetVisible(true);
    Send(ScreenId::h, NoisePicture(256, 32, 2));
    ASSERT_TRUE(WaitFrames(ScreenId::h, 2));
    EXPECT_EQ(worker().monitor().TakeLines().size(), 1);
    EXPECT_EQ(notified, 1);
    worker().monitor().SetNotifier({});
}

TEST_F(WorkerTest, BrightnessReachesEveryListedCardOfEveryScreenTwice) {
    std::vector<SimCardSpec> cards;
    for (int i = 0; i < 6; ++i) {
        cards.push_back(TestCard(i + 1, ScreenFromIndex(i % 3)));
    }
    Start(cards);
    // Neither the in-use settings nor the online flags matter.
    worker().SetScreenInUse(ScreenId::s, false);
    worker().cardOnline().clear(ScreenId::x);
    worker().Resume();
    worker().RequestBrightness(7);
    ASSERT_TRUE(worker().WaitUntilIdle(kFrameLimit));
    ASSERT_TRUE(bank().WaitForDatagrams(12, 2s));
    for (const SimCardSpec& card : cards) {
        EXPECT_EQ(CardActions(bank(), card.mac),
                  (QStringList{QStringLiteral("Brightness 7"), QStringLiteral("Brightness 7")}));
        EXPECT_EQ(bank().Card(card.mac)->brightness, 7);
    }
    EXPECT_EQ(worker().BrightnessLevel(), 7);
}

TEST_F(WorkerTest, TwoQuickRequestsSendTheLatestFrameOnce) {
    const SimCardSpec card = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    Start({card});
    Screen(ScreenId::h, 256, 32, 1, 0);
    const QImage first = NoisePicture(256, 32, 1);
    QImage second = NoisePicture(256, 32, 2);
    Send(ScreenId::h, first);
    Send(ScreenId::h, second, FrameEffect{4, 6, 3});
    // A picture loaded without a request (the advertisement) is not sent.
    worker().LoadScreenBitmap(ScreenId::h, NoisePicture(256, 32, 3), {});
    // The caller's image may change after the hand-over; the frame does not.
    const QImage sent = second.copy();
    second.fill(Qt::white);

    worker().Resume();
    ASSERT_TRUE(WaitFrames(ScreenId::h, 1));
    ASSERT_TRUE(worker().WaitUntilIdle(kFrameLimit));
    EXPECT_EQ(worker().LastFrame(ScreenId::h).frames, 1);
    EXPECT_EQ(bank().Card(card.mac)->dataSlices, 8);
    EXPECT_EQ(bank().Card(card.mac)->swaps, 1);
    EXPECT_EQ(bank().Card(card.mac)->effect, 4);
    EXPECT_EQ(bank().Displayed(card.mac), Thresholded(sent, ColourKind::Dual));
}

TEST_F(WorkerTest, RequestsForAScreenNotInUseWaitWithoutWakingTheWorker) {
    const SimCardSpec card = CardFor(1, ScreenId::x, 256, 32, 0, 1);
    Start({card});
    worker().SetLinkScreenParams(ScreenId::x, 256, 32, 1, 0, 0, 1);
    worker().Resume();
    const QImage frame = NoisePicture(256, 32, 4);
    Send(ScreenId::x, frame);
    ASSERT_TRUE(worker().WaitUntilIdle(kFrameLimit));
    const long long cycles = worker().Cycles();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(worker().Cycles(), cycles); // asleep, not polling
    EXPECT_TRUE(worker().linkScreen(ScreenId::x).sendRequest);
    EXPECT_EQ(bank().DatagramsHandled(), 0);

    worker().SetScreenInUse(ScreenId::x, true);
    ASSERT_TRUE(WaitFrames(ScreenId::x, 1));
    EXPECT_EQ(bank().Displayed(card.mac), Thresholded(frame, ColourKind::Dual));
    EXPECT_EQ(worker().Cycles(), cycles + 1);
}

TEST_F(WorkerTest, APausedTransferContinuesWhereItStopped) {
    SimCardSpec card = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    card.faults.delayMs = 15; // slow enough to pause in the middle
    Start({card});
    Screen(ScreenId::h, 256, 32, 1, 0);
    worker().Resume();
    const QImage frame = NoisePicture(256, 32, 5);
    Send(ScreenId::h, frame);
    ASSERT_TRUE(WaitUntil([&] { return bank().Card(card.mac)->dataSlices >= 2; }));
    worker().PauseSending(true);
    ASSERT_TRUE(worker().WaitUntilHeld(2s));
    const long long held = bank().Card(card.mac)->dataSlices;
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(bank().Card(card.mac)->dataSlices, held);
    EXPECT_LT(held, 8);
    EXPECT_EQ(bank().Card(card.mac)->swaps, 0);

    worker().PauseSending(false);
    ASSERT_TRUE(WaitFrames(ScreenId::h, 1));
    // Nothing started over: each slice once, apart from retries of the same datagram.
    const QStringList actions = CardActions(bank(), card.mac, true);
    EXPECT_EQ(Writes(actions).size(), 8);
    EXPECT_EQ(actions.count(QStringLiteral("SwapBuffer")), 1);
    EXPECT_EQ(bank().Displayed(card.mac), Thresholded(frame, ColourKind::Dual));
}

TEST_F(WorkerTest, ACardDisconnectedWhileHeldGetsNothingMoreOfTheFrame) {
    // 272 x 32 single colour: two full slices and a short one.
    SimCardSpec gone = CardFor(1, ScreenId::h, 272, 32, 1, 0);
    gone.faults.delayMs = 15;
    const SimCardSpec stays = CardFor(2, ScreenId::h, 272, 32, 1, 0);
    Start({gone, stays});
    Screen(ScreenId::h, 272, 32, 0, 1);
    worker().Resume();
    const QImage frame = NoisePicture(272, 32, 12);
    Send(ScreenId::h, frame);
    ASSERT_TRUE(WaitUntil([&] { return bank().Card(gone.mac)->dataSlices >= 1; }));
    worker().PauseSending(true);
    ASSERT_TRUE(worker().WaitUntilHeld(2s));
    const long long held = bank().Card(gone.mac)->dataSlices;
    ASSERT_LT(held, 3);
    // What the disconnect sequence does to a card that said goodbye.
    worker().cardOnline().set(ScreenId::h, 0, false);
    worker().PauseSending(false);
    ASSERT_TRUE(WaitFrames(ScreenId::h, 1));
    EXPECT_EQ(bank().Card(gone.mac)->dataSlices, held); // not even the short slice
    EXPECT_EQ(bank().Card(gone.mac)->swaps, 0);
    EXPECT_EQ(bank().Displayed(stays.mac), Thresholded(frame, ColourKind::Single));
    EXPECT_EQ(worker().LastFrame(ScreenId::h).shown, 1);
}

TEST_F(WorkerTest, ASuspendedWorkerSendsNothingUntilResumed) {
    const SimCardSpec card = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    Start({card});
    Screen(ScreenId::h, 256, 32, 1, 0);
    Send(ScreenId::h, NoisePicture(256, 32, 6));
    worker().RequestBrightness(3);
    EXPECT_TRUE(worker().IsSuspended());
    EXPECT_TRUE(worker().WaitUntilHeld(1s));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(worker().Cycles(), 0);
    EXPECT_EQ(bank().DatagramsHandled(), 0);
    worker().Resume();
    ASSERT_TRUE(WaitFrames(ScreenId::h, 1));
    EXPECT_EQ(bank().Card(card.mac)->brightness, 3);
}

TEST_F(WorkerTest, TheDiverterReceivesFramesInsteadOfTheCards) {
    struct Recorder final : FrameDiverter {
        void DivertFrame(ScreenId screen, const QImage& frame, const FrameEffect& effect) override {
            screens.push_back(screen);
            frames.push_back(frame);
            effects.push_back(effect);
        }
        std::vector<ScreenId> screens;
        std::vector<QImage> frames;
        std::vector<FrameEffect> effects;
    } recorder;
    const SimCardSpec card = CardFor(1, ScreenId::s, 256, 32, 0, 1);
    Start({card});
    Screen(ScreenId::s, 32, 256, 1, 0);
    worker().Resume();
    worker().SetFrameDiverter(&recorder);
    const QImage frame = NoisePicture(256, 32, 9);
    Send(ScreenId::s, frame, FrameEffect{1, 5, 2});
    ASSERT_EQ(recorder.screens, std::vector<ScreenId>{ScreenId::s});
    EXPECT_EQ(recorder.frames[0], frame);
    EXPECT_EQ(recorder.effects[0], (FrameEffect{1, 5, 2}));
    EXPECT_TRUE(worker().WaitUntilIdle(1s));
    EXPECT_FALSE(worker().linkScreen(ScreenId::s).sendRequest);
    EXPECT_EQ(worker().Cycles(), 0);

    worker().SetFrameDiverter(nullptr);
    worker().RequestFrame(ScreenId::s);
    ASSERT_TRUE(WaitFrames(ScreenId::s, 1));
    EXPECT_EQ(recorder.frames.size(), 1u);
    EXPECT_EQ(bank().Displayed(card.mac), Thresholded(frame, ColourKind::Dual));
}

TEST_F(WorkerTest, TerminationAbandonsAHeldTransfer) {
    SimCardSpec card = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    card.faults.delayMs = 10;
    Start({card});
    Screen(ScreenId::h, 256, 32, 1, 0);
    worker().Resume();
    Send(ScreenId::h, NoisePicture(256, 32, 1));
    ASSERT_TRUE(WaitUntil([&] { return bank().Card(card.mac)->dataSlices >= 1; }));
    worker().PauseSending(true);
    ASSERT_TRUE(worker().WaitUntilHeld(2s));
    const long long slices = bank().Card(card.mac)->dataSlices;
    worker().Terminate();
    EXPECT_TRUE(worker().WaitUntilIdle(0ms));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(bank().Card(card.mac)->dataSlices, slices);
    EXPECT_EQ(bank().Card(card.mac)->swaps, 0);
    m_worker.reset(); // a second Terminate (the destructor's) is harmless
}

TEST(LinkScreenParams, GeometryScanAndColourOfEachScreen) {
    StationLink link(LinkConfig::Loopback(0));
    TLedThread worker(link);
    const LinkScreen initial = worker.linkScreen(ScreenId::h);
    EXPECT_EQ(initial.rowsPerGroup, 16);
    EXPECT_EQ(initial.width, 512);
    EXPECT_EQ(initial.height, 32);
    EXPECT_EQ(initial.colourKind, QStringLiteral("同步+双色(桌面)"));
    EXPECT_EQ(initial.scan, QStringLiteral("4扫"));
    EXPECT_EQ(initial.fold, QStringLiteral("8列下折3次"));
    EXPECT_EQ(initial.planeLength, 0);

    struct Case {
        ScreenId screen;
        int width, height, colour, scan;
        int cardWidth, cardHeight, rows;
        const char* scanText;
        const char* foldText;
        const char* colourKind;
        int planeLength;
    };
    const Case cases[] = {
        {ScreenId::h, 272, 32, 0, 1, 272, 32, 8, "8扫", "直行", "同步+单色(桌面)", 2176},
        {ScreenId::s, 32, 256, 1, 2, 256, 32, 16, "8扫", "8列上折1次", "同步+双色(桌面)", 4096},
        {ScreenId::x, 128, 16, 2, 9, 128, 16, 8, "4扫", "16列下折1次", "同步+全彩(桌面)", 1024},
        {ScreenId::h, 64, 16, 7, 12, 64, 16, 16, "16扫", "直行", "同步+全彩(桌面)", 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ScreenLetter(c.screen));
        worker.SetLinkScreenParams(c.screen, c.width, c.height, c.colour, c.scan, 1, 0);
        worker.UpdatePlaneLength(c.screen);
        const LinkScreen link = worker.linkScreen(c.screen);
        EXPECT_EQ(link.width, c.cardWidth);
        EXPECT_EQ(link.height, c.cardHeight);
        EXPECT_EQ(link.rowsPerGroup, c.rows);
        EXPECT_EQ(link.scan, QString::fromUtf8(c.scanText));
        EXPECT_EQ(link.fold, QString::fromUtf8(c.foldText));
        EXPECT_EQ(link.colourKind, QString::fromUtf8(c.colourKind));
        EXPECT_EQ(link.planeLength, c.planeLength);
        EXPECT_EQ(link.fullSlices * 1024 + link.lastSliceBytes, c.planeLength);
        EXPECT_EQ(link.dataPolarity, 1);
        EXPECT_EQ(link.oePolarity, 0);
        const QImage bitmap = worker.ScreenBitmap(c.screen);
        EXPECT_EQ(bitmap.size(), QSize(c.cardWidth, c.cardHeight));
        EXPECT_EQ(bitmap.pixel(0, 0) & 0xFFFFFF, 0u);
    }
}

TEST(LinkScreenParams, ALongerLineSetsTheWidthAndPlaneLengthOfItsFrame) {
    StationLink link(LinkConfig::Loopback(0));
    TLedThread worker(link);
    worker.SetLinkScreenParams(ScreenId::h, 256, 32, 1, 0, 0, 1);
    worker.LoadScreenBitmap(ScreenId::h, NoisePicture(600, 32, 1), {1, 5, 0});
    worker.RequestFrame(ScreenId::h);
    const LinkScreen screen = worker.linkScreen(ScreenId::h);
    EXPECT_EQ(screen.width, 600);
    EXPECT_EQ(screen.planeLength, 9600);
    EXPECT_EQ(screen.fullSlices, 9);
    EXPECT_EQ(screen.lastSliceBytes, 384);
    EXPECT_TRUE(screen.sendRequest);
    EXPECT_EQ(worker.screenEffect(ScreenId::h), (FrameEffect{1, 5, 0}));
}

TEST(LinkScreenParams, LocalAddressesAreTheLinksOwn) {
    StationLink link(LinkConfig::Loopback(0));
    TLedThread worker(link);
    QStringList addresses{QStringLiteral("kept")};
    EXPECT_EQ(worker.LocalAddresses(addresses), 1);
    EXPECT_EQ(addresses, (QStringList{QStringLiteral("kept"), QStringLiteral("127.0.0.1")}));
}

TEST(CardOnlineFlags, RangeClearAndCount) {
    CardOnline online;
    online.set(ScreenId::s, 0, true);
    online.set(ScreenId::s, 99, true);
    online.set(ScreenId::s, 100, true); // beyond the list: ignored
    online.set(ScreenId::s, -1, true);
    EXPECT_TRUE(online.get(ScreenId::s, 99));
    EXPECT_FALSE(online.get(ScreenId::s, 100));
    EXPECT_FALSE(online.get(ScreenId::h, 0));
    EXPECT_EQ(online.count(ScreenId::s), 2);
    online.clear(ScreenId::s);
    EXPECT_EQ(online.count(ScreenId::s), 0);
}

TEST(LinkMonitorLines, HiddenDropsVisibleKeepsAndHidingForgets) {
    LinkMonitor monitor;
    monitor.AddLine(QStringLiteral("a"));
    EXPECT_TRUE(monitor.TakeLines().isEmpty());
    monitor.SetVisible(true);
    monitor.AddLine(QStringLiteral("b"));
    monitor.AddLine(QStringLiteral("c"));
    EXPECT_EQ(monitor.TakeLines(), (QStringList{QStringLiteral("b"), QStringLiteral("c")}));
    EXPECT_TRUE(monitor.TakeLines().isEmpty());
    monitor.AddLine(QStringLiteral("d"));
    monitor.SetVisible(false);
    EXPECT_TRUE(monitor.TakeLines().isEmpty());
    EXPECT_EQ(monitor.LinesKept(), 3);

    monitor.SetVisible(true);
    for (std::size_t i = 0; i < LinkMonitor::kMaxPending + 5; ++i) {
        monitor.AddLine(QString::number(i));
    }
    const QStringList kept = monitor.TakeLines();
    EXPECT_EQ(static_cast<std::size_t>(kept.size()), LinkMonitor::kMaxPending);
    EXPECT_EQ(kept.first(), QStringLiteral("5"));
}
