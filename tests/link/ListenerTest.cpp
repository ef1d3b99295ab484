#include "LinkTestSupport.h"

#include "LoopbackRig.h"

#include "link/DataSlices.h"
#include "link/Replies.h"
#include "link/StationLink.h"

#include "core/TextFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <set>
#include <thread>

using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Reply(const char* text, std::optional<std::uint8_t> seq = std::nullopt) {
    const QByteArray gbk = EncodeGbk(QString::fromUtf8(text));
    Bytes out(2 + static_cast<std::size_t>(gbk.size()) + (seq ? 1 : 0), 0);
    std::copy(gbk.begin(), gbk.end(), out.begin() + 2);
    if (seq) {
        out.back() = *seq;
    }
    return out;
}

int CountLog(const QStringList& log, const QString& part) {
    int n = 0;
    for (const QString& line : log) {
        n += line.contains(part) ? 1 : 0;
    }
    return n;
}

class ListenerTest : public ::testing::Test {
protected:
    void Start(std::vector<SimCardSpec> cards, unsigned seed = 1) {
        m_rig = std::make_unique<LoopbackRig>(cards, seed);
        ASSERT_TRUE(m_rig->ok()) << m_rig->error().toStdString();
    }
    StationLink& link() { return m_rig->link(); }
    CardBank& bank() { return m_rig->bank(); }
    ScreenLink& h() { return link().screen(ScreenId::h); }
    CommandBuffer& cmd() { return link().commands(); }

    std::unique_ptr<LoopbackRig> m_rig;
};

} // namespace

TEST_F(ListenerTest, FullExchangeWithOneCard) {
    const SimCardSpec card = TestCard(1);
    Start({card});
    EXPECT_TRUE(h().Transact(cmd().Connect(card.mac), LinkBudgets::kConnectSequence));
    EXPECT_TRUE(h().Transact(cmd().SyncMode(card.mac), LinkBudgets::kConnectSequence));
    EXPECT_TRUE(
        h().Transact(cmd().WriteData(card.mac, 0, Bytes(1024, 0x11)), LinkBudgets::kFrameSlice));
    EXPECT_TRUE(h().Transact(cmd().SwapBuffer(card.mac, 1, 5, 2, 256), LinkBudgets::kFrameSlice));
    std::optional<CardState> state = bank().Card(card.mac);
    ASSERT_TRUE(state);
    EXPECT_TRUE(state->connected);
    EXPECT_EQ(state->mode, CardMode::Sync);
    EXPECT_EQ(state->dataSlices, 1);
    EXPECT_EQ(state->swaps, 1);
    EXPECT_EQ(state->effect, 1);
    EXPECT_EQ(state->speed, 5);
    EXPECT_EQ(state->stay, 2);
    EXPECT_EQ(state->extent, 256);

    EXPECT_TRUE(h().Transact(cmd().Disconnect(card.mac, true), LinkBudgets::kDisconnectSequence));
    state = bank().Card(card.mac);
    EXPECT_FALSE(state->connected);
    EXPECT_TRUE(state->startOfflineOnDisconnect);
    EXPECT_TRUE(h().Transact(cmd().Disconnect(card.mac, false), LinkBudgets::kDisconnectSequence));
    EXPECT_FALSE(bank().Card(card.mac)->startOfflineOnDisconnect);
    EXPECT_GE(h().stats().matched, 6);
}

TEST_F(ListenerTest, FlashParametersAndOfflineMode) {
    const SimCardSpec card = TestCard(2, ScreenId::x);
    Start({card});
    ScreenLink& x = link().screen(ScreenId::x);
    EXPECT_TRUE(x.Transact(cmd().Connect(card.mac), LinkBudgets::kOfflineTransfer));
    EXPECT_TRUE(x.Transact(cmd().OfflineMode(card.mac), LinkBudgets::kOfflineTransfer));
    EXPECT_EQ(bank().Card(card.mac)->mode, CardMode::Offline);
    Bytes block(1024);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(i % 251);
    }
    EXPECT_TRUE(
        x.Transact(cmd().WriteFlash(card.mac, 0xB000, block), LinkBudgets::kOfflineTransfer));
    EXPECT_TRUE(x.Transact(cmd().WriteFlash(card.mac, 0xB400, Bytes(904, 0x77)),
                           LinkBudgets::kOfflineTransfer));
    const Bytes flash = bank().Flash(card.mac);
    ASSERT_EQ(flash.size(), 0xB400u + 904u);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), flash.begin() + 0xB000));
    EXPECT_EQ(flash[0xB400 + 903], 0x77);

    std::array<std::uint8_t, kParamBlockSize> params{};
    params[0] = 64;
    params[2] = 16;
    params[511] = 0xAA;
    EXPECT_TRUE(x.Transact(cmd().LoadParameters(card.mac, params), LinkBudgets::kServiceOperation));
    const CardState state = *bank().Card(card.mac);
    EXPECT_TRUE(std::equal(params.begin(), params.end(), state.setup.params.begin()));
}

TEST_F(ListenerTest, SequenceWrapIsAccepted) {
    const SimCardSpec card = TestCard(3);
    Start({card});
    link().packetSeq().Set(255);
    const Command first = cmd().WriteData(card.mac, 0, Bytes(10, 1));
    const Command second = cmd().WriteData(card.mac, 4, Bytes(10, 2));
    EXPECT_EQ(first.seq, std::optional<std::uint8_t>(255));
    EXPECT_EQ(second.seq, std::optional<std::uint8_t>(0));
    EXPECT_TRUE(h().Transact(first, LinkBudgets::kFrameSlice));
    EXPECT_TRUE(h().Transact(second, LinkBudgets::kFrameSlice));
    // Once each, or again as a retry of the same datagram after a late answer.
    EXPECT_GE(CountLog(bank().Log(), QStringLiteral("seq 255 ->")), 1);
    EXPECT_GE(CountLog(bank().Log(), QStringLiteral("seq 0 ->")), 1);
}

TEST_F(ListenerTest, WrongSequenceByteNeverReleasesAndRetriesRepeatTheDatagram) {
    SimCardSpec card = TestCard(4);
    card.faults.wrongSeq = true;
    Start({card});
    link().packetSeq().Set(77);
    EXPECT_FALSE(h().Transact(cmd().WriteData(card.mac, 0, Bytes(1024, 3)), {3, 15, 1}));
    EXPECT_FALSE(h().reply().arrived());
    // Three attempts, each the same slice with the same sequence byte. On a
    // loaded machine the card may log the last one after the station gave up.
    const QString attempt = QStringLiteral("WriteData unit 0 (byte 0) 1024 bytes seq 77");
    ASSERT_TRUE(WaitUntil([&] { return CountLog(bank().Log(), attempt) >= 3; }, 10s));
    EXPECT_EQ(CountLog(bank().Log(), attempt), 3);
    EXPECT_EQ(h().stats().matched, 0);
    EXPECT_FALSE(h().Transact(cmd().SwapBuffer(card.mac, 0, 1, 0, 64), {2, 15, 1}));
}

TEST_F(ListenerTest, DroppedRepliesAreRecoveredByRetries) {
    SimCardSpec card = TestCard(5);
    card.faults.dropPercent = 50;
    Start({card}, 4242);
    for (const DataSlice& slice : SlicePlane(40 * 1024, kPlane1Unit)) {
        ASSERT_TRUE(h().Transact(cmd().WriteData(card.mac, slice.unit, Bytes(1024, 9)),
                                 LinkBudgets::kFrameSlice))
            << slice.index;
    }
    const QStringList log = bank().Log();
    EXPECT_GT(CountLog(log, QStringLiteral("(reply dropped)")), 0);
    EXPECT_GT(CountLog(log, QStringLiteral("WriteData")), 40);
}

TEST_F(ListenerTest, CardThatStopsAnsweringAfterTwoSlices) {
    SimCardSpec card = TestCard(6);
    card.faults.stopAfterSlices = 2;
    Start({card});
    const auto slices = SlicePlane(4096, kPlane1Unit);
    EXPECT_TRUE(h().Transact(cmd().WriteData(card.mac, slices[0].unit, Bytes(1024)), {2, 25, 1}));
    EXPECT_TRUE(h().Transact(cmd().WriteData(card.mac, slices[1].unit, Bytes(1024)), {2, 25, 1}));
    EXPECT_FALSE(h().Transact(cmd().WriteData(card.mac, slices[2].unit, Bytes(1024)), {2, 25, 1}));
    EXPECT_FALSE(h().Transact(cmd().Connect(card.mac), LinkBudgets::kFrameConnect));
    EXPECT_EQ(bank().Card(card.mac)->dataSlices, 2);
    // Revived by new faults, it answers again.
    bank().SetFaults(card.mac, {});
    EXPECT_TRUE(h().Transact(cmd().Connect(card.mac), LinkBudgets::kFrameConnect));
}

TEST_F(ListenerTest, CardThatIgnoresTheModeSwitch) {
    SimCardSpec card = TestCard(7);
    card.faults.ignoreModeSwitch = true;
    Start({card});
    EXPECT_TRUE(h().Transact(cmd().Connect(card.mac), LinkBudgets::kConnectSequence));
    EXPECT_FALSE(h().Transact(cmd().SyncMode(card.mac), {2, 20, 1}));
    EXPECT_FALSE(h().Transact(cmd().OfflineMode(card.mac), {1, 20, 1}));
    EXPECT_EQ(bank().Card(card.mac)->mode, CardMode::Unknown);
}

TEST_F(ListenerTest, DuplicatedRepliesCostNoRetries) {
    SimCardSpec card = TestCard(8);
    card.faults.duplicate = true;
    Start({card});
    for (const DataSlice& slice : SlicePlane(8 * 1024, kPlane1Unit)) {
        ASSERT_TRUE(h().Transact(cmd().WriteData(card.mac, slice.unit, Bytes(1024, 1)),
                                 LinkBudgets::kFrameSlice));
    }
    ASSERT_TRUE(h().Transact(cmd().SwapBuffer(card.mac, 0, 1, 0, 512), LinkBudgets::kFrameSlice));
    EXPECT_EQ(bank().Card(card.mac)->dataSlices, 8);
    EXPECT_EQ(bank().Card(card.mac)->swaps, 1);
}

TEST_F(ListenerTest, WaitEndsWhenTheReplyArrivesNotAtTheEndOfTheBudget) {
    SimCardSpec card = TestCard(9);
    card.faults.delayMs = 40;
    Start({card});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(h().Transact(cmd().Connect(card.mac), {1, 10000, 1}));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, 40ms);
    EXPECT_LT(elapsed, 8000ms); // far below the 10 s budget
}

TEST_F(ListenerTest, UnansweredCommandWaitsTheWholeBudget) {
    Start({TestCard(10)});
    const MacAddress nobody{1, 2, 3, 4, 5, 6};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(h().Transact(cmd().Connect(nobody), {3, 30, 1}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 90ms);
    const QString unknown = QStringLiteral("for no card on this port");
    ASSERT_TRUE(WaitUntil([&] { return CountLog(bank().Log(), unknown) >= 3; }, 10s));
    EXPECT_EQ(CountLog(bank().Log(), unknown), 3);
}

TEST_F(ListenerTest, LateReplyIsJudgedByTheCurrentExpectation) {
    SimCardSpec card = TestCard(11);
    card.faults.delayMs = 60;
    Start({card});
    const long long before = h().stats().received;
    // Connect gives up before its reply comes...
    EXPECT_FALSE(h().Transact(cmd().Connect(card.mac), {1, 5, 1}));
    // ...which then arrives while SyncMode is awaited, and must not count.
    h().SendUnanswered(cmd().SyncMode(card.mac));
    ASSERT_TRUE(WaitUntil([&] { return h().stats().received >= before + 2; }));
    EXPECT_TRUE(h().reply().arrived()); // the sync reply, not the connect one
    EXPECT_EQ(h().stats().matched, 1);
    EXPECT_EQ(h().reply().awaited(), kAwaitSyncMode);
}

TEST_F(ListenerTest, BrightnessAwaitsNothing) {
    const SimCardSpec card = TestCard(12);
    Start({card});
    RawPeer peer;
    ASSERT_TRUE(peer.ok());
    EXPECT_EQ(h().SendUnanswered(cmd().Brightness(card.mac, 9)), 1);
    ASSERT_TRUE(bank().WaitForDatagrams(1, 3000ms));
    EXPECT_EQ(bank().Card(card.mac)->brightness, 9);
    const long long before = h().stats().received;
    for (const char* text : {"连接成功", "已经断开", "设置成功"}) {
        peer.Send(link().config().StationPort(ScreenId::h), Reply(text));
    }
    peer.Send(link().config().StationPort(ScreenId::h), Reply("交换成功", 0));
    ASSERT_TRUE(WaitUntil([&] { return h().stats().received >= before + 4; }));
    EXPECT_FALSE(h().reply().arrived());
    EXPECT_EQ(h().reply().awaited(), kAwaitNothing);
}

TEST_F(ListenerTest, NothingIsSentOrAwaitedWhileInactive) {
    const SimCardSpec card = TestCard(13);
    Start({card});
    h().Deactivate();
    EXPECT_FALSE(h().IsActive());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(h().Transact(cmd().Connect(card.mac), {5, 1000, 1}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms);
    EXPECT_EQ(bank().DatagramsHandled(), 0);
    ASSERT_TRUE(h().EnsureActive());
    EXPECT_EQ(h().BoundAddresses(), std::vector<Ipv4Address>{kLoopback});
    EXPECT_TRUE(h().Transact(cmd().Connect(card.mac), LinkBudgets::kFrameConnect));
}

// A copy the system refuses (a full queue, a network down for a moment) must
// not end the exchange: each attempt keeps its wait and the next one sends again.
TEST_F(ListenerTest, RefusedSendsStillUseTheAttemptsOfTheBudget) {
    struct Case {
        const char* what;
        int refusedCopies; // the first copies the system refuses
        bool answered;
        int cardConnects; // Connect datagrams that reached the card
    };
    const WaitBudget budget{4, 40, 1};
    for (const Case& c : {Case{"refused twice, then through", 2, true, 1},
                          Case{"refused throughout", 1000, false, 0}}) {
        SCOPED_TRACE(c.what);
        const SimCardSpec card = TestCard(0x61);
        Start({card});
        std::atomic<int> asked{0};
        h().SetSendFault([&](Ipv4Address local) {
            EXPECT_EQ(local, kLoopback);
            return asked++ < c.refusedCopies;
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(h().Transact(cmd().Connect(card.mac), budget), c.answered);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        const int attemptsTaken = std::min(c.refusedCopies + 1, budget.attempts);
        EXPECT_EQ(asked.load(), attemptsTaken);
        EXPECT_EQ(h().stats().sendFailures, std::min(c.refusedCopies, budget.attempts));
        // Every refused attempt waited its time before the next one.
        EXPECT_GE(elapsed, budget.PerAttempt() * std::min(c.refusedCopies, budget.attempts));
        if (c.answered) {
            ASSERT_TRUE(bank().WaitForDatagrams(1, 3000ms));
        }
        // A late answer on a loaded machine may bring one more attempt of the
        // same datagram.
        const int connects = CountLog(bank().Log(), QStringLiteral(" Connect"));
        EXPECT_GE(connects, c.cardConnects);
        EXPECT_LE(connects, c.answered ? budget.attempts - c.refusedCopies : 0);
        EXPECT_EQ(bank().Card(card.mac)->connected, c.answered);
        h().SetSendFault({});
    }
}

TEST_F(ListenerTest, ActivationReportsAnAddressThatCannotBeBound) {
    const auto offset = ProbeFreePortOffset();
    ASSERT_TRUE(offset);
    LinkConfig config = LinkConfig::Loopback(*offset);
    // 192.0.2.1 (documentation range) is not an address of this host.
    config.localAddresses = {kLoopback, Ipv4Address{0xC0000201}};
    ScreenLink screen(ScreenId::s, config);
    const LinkStatus status = screen.Activate();
    EXPECT_FALSE(status.ok);
    EXPECT_TRUE(status.message.contains(QStringLiteral("192.0.2.1")))
        << status.message.toStdString();
    EXPECT_TRUE(screen.IsActive()); // the loopback binding stands
    EXPECT_EQ(screen.BoundAddresses(), std::vector<Ipv4Address>{kLoopback});
}

TEST_F(ListenerTest, DiscoveryOfThreeCards) {
    SimCardSpec a = TestCard(0x21);
    a.name = QStringLiteral("舞台屏");
    a.modelCode = 1;
    SimCardSpec b = TestCard(0x22);
    b.name = QStringLiteral("左侧");
    b.modelCode = 13;
    b.faults.duplicate = true; // answers twice: still one entry
    SimCardSpec c = TestCard(0x23);
    c.name = QStringLiteral("Card-C");
    c.modelCode = 99; // unknown: label of code 7
    SimCardSpec elsewhere = TestCard(0x24, ScreenId::s);
    Start({a, b, c, elsewhere});

    const CardList cards = link().Search(ScreenId::h);
    EXPECT_FALSE(h().IsActive()); // the collection window ended
    std::set<QString> ids;
    for (const CardEntry& entry : cards) {
        ids.insert(entry.id);
    }
    const std::set<QString> expected{
        QStringLiteral("mac:02-00-00-00-00-21 舞台屏->") + ModelLabel(1) + QStringLiteral("卡"),
        QStringLiteral("mac:02-00-00-00-00-22 左侧->") + ModelLabel(13) + QStringLiteral("卡"),
        QStringLiteral("mac:02-00-00-00-00-23 Card-C->") + ModelLabel(7) + QStringLiteral("卡"),
    };
    EXPECT_EQ(cards.size(), 3u);
    EXPECT_EQ(ids, expected);
    const std::vector<SimCardSpec> specs{a, b, c};
    for (const CardEntry& entry : cards) {
        const MacAddress mac = MacFromEntry(entry.id);
        const auto setup = std::find_if(specs.begin(), specs.end(),
                                        [&](const SimCardSpec& s) { return s.mac == mac; });
        ASSERT_NE(setup, specs.end());
        SimCard reference(*setup);
        const Bytes record = reference.InfoRecord();
        EXPECT_TRUE(std::equal(record.begin(), record.end(), entry.record.begin()))
            << entry.id.toStdString();
        EXPECT_EQ(entry.record[17], reference.state().setup.modelCode);
    }
    // The other screen finds only its own card.
    const CardList vertical = link().Search(ScreenId::s);
    ASSERT_EQ(vertical.size(), 1u);
    EXPECT_TRUE(vertical[0].id.startsWith(QStringLiteral("mac:02-00-00-00-00-24 ")));
}

TEST_F(ListenerTest, OwnBroadcastIsNeverListed) {
    Start({TestCard(0x31)});
    ASSERT_TRUE(h().BeginSearch(cmd().Search()));
    Bytes lookalike(520, 0x41); // would parse as a card
    const std::uint16_t stationPort = link().config().StationPort(ScreenId::h);
    h().HandleDatagram(lookalike, kLoopback, stationPort);
    EXPECT_EQ(h().stats().ownIgnored, 1);
    // The same bytes from another port on this host are a card (a simulator).
    h().HandleDatagram(lookalike, kLoopback, static_cast<std::uint16_t>(stationPort + 1));
    ASSERT_TRUE(WaitUntil([&] { return h().Cards().size() == 2; }));
    h().EndSearch();
    for (const CardEntry& entry : h().Cards()) {
        EXPECT_FALSE(entry.id.isEmpty());
    }
}

TEST_F(ListenerTest, AtMostOneHundredCardsPerScreen) {
    std::vector<SimCardSpec> cards;
    for (int i = 0; i < 101; ++i) {
        cards.push_back(TestCard(0x100 + i));
    }
    Start(cards);
    const CardList found = link().Search(ScreenId::h, 1500ms);
    EXPECT_EQ(found.size(), 100u);
    EXPECT_EQ(h().stats().received, 101);
}

TEST_F(ListenerTest, AssignedCardAnswersOnItsNewScreen) {
    const SimCardSpec card = TestCard(0x41);
    Start({card});
    EXPECT_TRUE(h().Transact(cmd().Connect(card.mac), LinkBudgets::kServiceOperation));
    EXPECT_TRUE(h().Transact(cmd().AssignScreen(card.mac, 1), LinkBudgets::kServiceOperation));
    EXPECT_EQ(bank().Card(card.mac)->setup.screen, ScreenId::s);
    EXPECT_FALSE(h().Transact(cmd().Connect(card.mac), {1, 30, 1}));
    EXPECT_TRUE(link()
                    .screen(ScreenId::s)
                    .Transact(cmd().Connect(card.mac), LinkBudgets::kServiceOperation));
    EXPECT_TRUE(link().Search(ScreenId::h, 200ms).empty());
    EXPECT_EQ(link().Search(ScreenId::s, 200ms).size(), 1u);
}

TEST_F(ListenerTest, BadDatagramsNeitherCrashNorRelease) {
    Start({TestCard(0x51)});
    RawPeer peer;
    ASSERT_TRUE(peer.ok());
    const std::uint16_t hPort = link().config().StationPort(ScreenId::h);
    const std::uint16_t sPort = link().config().StationPort(ScreenId::s);
    ScreenLink& s = link().screen(ScreenId::s);
    // h awaits slice 5, s awaits swap 5.
    h().reply().Arm(kAwaitWritten, 5);
    s.reply().Arm(kAwaitSwapped, 5);

    std::mt19937 random(7);
    auto noise = [&](std::size_t size) {
        Bytes bytes(size);
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(random());
        }
        return bytes;
    };
    std::vector<Bytes> junk = {Bytes{},
                               Bytes{0x03},
                               Bytes(519, 0),
                               Bytes(521, 0xFF),
                               Bytes(65507, 0x20),
                               noise(15),
                               noise(520),
                               noise(1039),
                               Reply("写入sram成功", 4),
                               Reply("写入flash成功", 6),
                               Reply("写入sram成功"),
                               Reply("交换成功", 5), // for screen s
                               Reply("连接成功")};
    Bytes cutText = Reply("写入sram成功", 5);
    cutText.resize(10);
    junk.push_back(cutText);
    for (int i = 0; i < 50; ++i) {
        junk.push_back(noise(random() % 2000));
    }
    for (const Bytes& datagram : junk) {
        ASSERT_TRUE(peer.Send(hPort, datagram)) << datagram.size();
    }
    ASSERT_TRUE(
        WaitUntil([&] { return h().stats().received >= static_cast<long long>(junk.size()); }));
    EXPECT_FALSE(h().reply().arrived());
    EXPECT_FALSE(s.reply().arrived()); // the swap reply went to the other screen's port

    // The listeners keep working.
    peer.Send(sPort, Reply("交换成功", 5));
    EXPECT_TRUE(s.reply().WaitArrived(3000ms));
    peer.Send(hPort, Reply("写入sram成功", 5));
    EXPECT_TRUE(h().reply().WaitArrived(3000ms));

    // During a search, datagrams too short for card information are no cards.
    const long long before = h().stats().received;
    ASSERT_TRUE(h().BeginSearch(cmd().Search()));
    for (const Bytes& datagram : {Bytes{}, Bytes{0x07}, Bytes(144, 1), Reply("连接成功")}) {
        peer.Send(hPort, datagram);
    }
    // The bank's card answers the search too (a late datagram from before may
    // be among the five counted, so the card itself is awaited).
    ASSERT_TRUE(
        WaitUntil([&] { return h().stats().received >= before + 5 && !h().Cards().empty(); }, 10s));
    h().EndSearch();
    ASSERT_EQ(h().Cards().size(), 1u);
    EXPECT_TRUE(h().Cards()[0].id.startsWith(QStringLiteral("mac:02-00-00-00-00-51 ")));
}

TEST_F(ListenerTest, ConcurrentSendersAreSerialisedPerScreen) {
    const SimCardSpec hCard = TestCard(0x61);
    const SimCardSpec sCard = TestCard(0x62, ScreenId::s);
    Start({hCard, sCard});
    std::atomic<int> failures{0};
    auto sender = [&](ScreenId screen, const MacAddress& mac, std::uint16_t firstUnit) {
        for (int i = 0; i < 30; ++i) {
            const Command c = cmd().WriteData(mac, static_cast<std::uint16_t>(firstUnit + 4 * i),
                                              Bytes(1024, static_cast<std::uint8_t>(i)));
            if (!link().screen(screen).Transact(c, LinkBudgets::kFrameSlice)) {
                ++failures;
            }
        }
    };
    // A worker-like and a user-interface-like sender on the same screen, and a
    // third on another screen, all at once.
    std::thread worker(sender, ScreenId::h, hCard.mac, 0);
    std::thread ui(sender, ScreenId::h, hCard.mac, 200);
    std::thread other(sender, ScreenId::s, sCard.mac, 0);
    worker.join();
    ui.join();
    other.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(bank().Card(hCard.mac)->dataSlices, 60);
    EXPECT_EQ(bank().Card(sCard.mac)->dataSlices, 30);
}

TEST_F(ListenerTest, ActivationWhileAnotherThreadSends) {
    const SimCardSpec card = TestCard(0x71);
    Start({card});
    std::atomic<bool> stop{false};
    std::thread toggler([&] {
        while (!stop) {
            h().Deactivate();
            h().EnsureActive();
        }
    });
    int answered = 0;
    for (int i = 0; i < 50; ++i) {
        answered += h().Transact(cmd().Connect(card.mac), {1, 5, 1}) ? 1 : 0;
    }
    stop = true;
    toggler.join();
    ASSERT_TRUE(h().EnsureActive());
    EXPECT_TRUE(h().Transact(cmd().Connect(card.mac), LinkBudgets::kFrameConnect));
    SUCCEED() << answered << " of 50 answered while the bindings were rebuilt";
}
