// The OSC server on loopback with a command set stand-in: what it hands on,
// what it answers, whom it tells the state, and what it refuses and counts.
#include "OscPackets.h"
#include "UdpClient.h"

#include "remote/OscProtocol.h"
#include "remote/OscServer.h"
#include "remote/RemoteMonitor.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Stands in for the user-interface thread: records the commands handed on
// and answers each one as `answer` says (or keeps it unanswered).
class FakeStation {
public:
    OscServer::Submit submit() {
        return [this](const RemoteCommand& command, OscServer::Reply reply) {
            std::lock_guard lock(m_mutex);
            m_commands.push_back(command);
            if (m_hold) {
                m_held.push_back(std::move(reply));
            } else {
                reply(m_answer);
            }
            m_changed.notify_all();
        };
    }
    bool WaitFor(std::size_t count, std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_commands.size() >= count; });
    }
    std::vector<RemoteCommand> commands() {
        std::lock_guard lock(m_mutex);
        return m_commands;
    }
    void ReleaseHeld() {
        std::vector<OscServer::Reply> held;
        {
            std::lock_guard lock(m_mutex);
            held.swap(m_held);
        }
        for (auto& reply : held) {
            reply(RemoteResult::Done());
        }
    }

    void SetAnswer(RemoteResult answer) {
        std::lock_guard lock(m_mutex);
        m_answer = std::move(answer);
    }
    void SetHold(bool hold) {
        std::lock_guard lock(m_mutex);
        m_hold = hold;
    }

private:
    RemoteResult m_answer = RemoteResult::Done();
    bool m_hold = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<RemoteCommand> m_commands;
    std::vector<OscServer::Reply> m_held;
};

class OscServerTest : public ::testing::Test {
protected:
    void Start(std::vector<QHostAddress> allowed = {}) {
        OscServerConfig config;
        config.listen = {QHostAddress(QHostAddress::LocalHost)};
        config.allowed = std::move(allowed);
        ASSERT_EQ(server.Start(config, station.submit()), QString());
        ASSERT_NE(server.port(), 0);
    }
    // Waits for a message with that address (and, for a state, that line
    // number), skipping others.
    std::optional<OscReceived> Expect(const UdpClient& client, const QByteArray& path,
                                      int line = -1) {
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < until) {
            const std::optional<QByteArray> bytes = client.Receive(500ms);
            if (!bytes) {
                continue;
            }
            OscReceived got = DecodeOsc(*bytes);
            if (got.message != nullptr && got.path == path &&
                (line < 0 || OscInt(got.message, 1) == line)) {
                return got;
            }
            if (got.message != nullptr) {
                lo_message_free(got.message);
            }
        }
        return std::nullopt;
    }

    RemoteMonitor monitor;
    FakeStation station;
    OscServer server{monitor};
};

} // namespace

TEST_F(OscServerTest, CommandsGoOnRefusalsComeBackAndTheSenderHearsTheState) {
    Start();
    UdpClient desk;
    desk.Send(server.port(),
              OscPacket("/subtitle/go", [](lo_message m) { lo_message_add_int32(m, 5); }));
    ASSERT_TRUE(station.WaitFor(1));
    EXPECT_EQ(station.commands()[0], (RemoteCommand{RemoteVerb::GoToLine, 5, {}, {}}));

    // A command the station refuses is answered with the reason.
    station.SetAnswer(RemoteResult::Refused(QStringLiteral("请先连接字幕机再发送清屏命令。")));
    desk.Send(server.port(), OscPacket("/subtitle/clear"));
    std::optional<OscReceived> refused = Expect(desk, "/subtitle/refused");
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(OscText(refused->message, 0), QStringLiteral("/subtitle/clear"));
    EXPECT_EQ(OscText(refused->message, 1), QStringLiteral("请先连接字幕机再发送清屏命令。"));
    lo_message_free(refused->message);

    // Having sent commands, the desk hears the state for a minute.
    RemoteShowState state;
    state.entry = 1;
    state.line = 5;
    state.text = QStringLiteral("第五句");
    server.Publish(state);
    std::optional<OscReceived> got = Expect(desk, "/subtitle/state");
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->types, "iisi");
    EXPECT_EQ(OscInt(got->message, 1), 5);
    lo_message_free(got->message);
}

TEST_F(OscServerTest, SubscribersHearEveryStateOnTheirPortUntilTheyStop) {
    Start();
    RemoteShowState first;
    first.line = 1;
    server.Publish(first);
    UdpClient desk;
    UdpClient listener;
    desk.Send(server.port(), OscPacket("/subtitle/subscribe", [&listener](lo_message m) {
                  lo_message_add_int32(m, listener.port());
              }));
    // At once, the state as it stands.
    std::optional<OscReceived> got = Expect(listener, "/subtitle/state");
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(OscInt(got->message, 1), 1);
    lo_message_free(got->message);

    RemoteShowState second;
    second.line = 2;
    server.Publish(second);
    got = Expect(listener, "/subtitle/state", 2);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(OscInt(got->message, 1), 2);
    lo_message_free(got->message);

    desk.Send(server.port(),
              OscPacket("/subtitle/subscribe", [](lo_message m) { lo_message_add_int32(m, 0); }));
    // The unsubscribe is read before the next state is sent: a command after
    // it proves the server got that far.
    desk.Send(server.port(), OscPacket("/subtitle/next"));
    ASSERT_TRUE(station.WaitFor(1));
    while (listener.Receive(200ms)) {
    }
    server.Publish(first);
    EXPECT_FALSE(listener.Receive(300ms).has_value());
}

TEST_F(OscServerTest, BadPacketsAreCountedAndNeverHandedOn) {
    Start();
    UdpClient desk;
    const QByteArray packets[] = {
        QByteArray("garbage"),
        OscPacket("/subtitle/nope"),
        OscPacket("/subtitle/go", [](lo_message m) { lo_message_add_string(m, "five"); }),
        QByteArray(int(kMaxOscPacket) + 100, 'x'),
        QByteArray("#bundle\0\0\0\0\0\0\0\0\1", 16),
    };
    for (const QByteArray& packet : packets) {
        desk.Send(server.port(), packet);
    }
    desk.Send(server.port(), OscPacket("/subtitle/next"));
    ASSERT_TRUE(station.WaitFor(1));
    EXPECT_EQ(station.commands().size(), 1u);
    EXPECT_EQ(monitor.count(RemoteMonitor::Kind::OscMalformed), 2);
    EXPECT_EQ(monitor.count(RemoteMonitor::Kind::OscUnknownAddress), 1);
    EXPECT_EQ(monitor.count(RemoteMonitor::Kind::OscWrongArguments), 1);
    EXPECT_EQ(monitor.count(RemoteMonitor::Kind::OscOversized), 1);
    // None of them got an answer: a forged sender must not aim replies at anyone.
    EXPECT_FALSE(desk.Receive(200ms).has_value());
}

TEST_F(OscServerTest, OnlyListedClientsAreHeard) {
    Start({QHostAddress(QStringLiteral("127.0.0.2"))});
    UdpClient stranger; // 127.0.0.1
    UdpClient listed(0x7F000002);
    stranger.Send(server.port(), OscPacket("/subtitle/next"));
    listed.Send(server.port(), OscPacket("/subtitle/prev"));
    ASSERT_TRUE(station.WaitFor(1));
    ASSERT_EQ(station.commands().size(), 1u);
    EXPECT_EQ(station.commands()[0].verb, RemoteVerb::Previous);
    EXPECT_EQ(monitor.count(RemoteMonitor::Kind::OscClientNotAllowed), 1);
}

TEST_F(OscServerTest, AFloodNeitherQueuesWithoutLimitNorStopsTheServer) {
    station.SetHold(true); // the station is busy: nothing is answered
    Start();
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t) {
        senders.emplace_back([port = server.port()] {
            UdpClient desk;
            for (int i = 0; i < 500; ++i) {
                desk.Send(port, i % 2 == 0 ? QByteArray("\x01\x02\x03\x04")
                                           : OscPacket("/subtitle/next"));
            }
        });
    }
    for (std::thread& sender : senders) {
        sender.join();
    }
    ASSERT_TRUE(station.WaitFor(OscServer::kMaxPendingCommands));
    // Whatever the kernel delivered was read and judged: malformed counted,
    // commands beyond the pending limit dropped and counted.
    const auto judged = [this] {
        return monitor.count(RemoteMonitor::Kind::OscMalformed) +
               monitor.count(RemoteMonitor::Kind::OscFlood) +
               static_cast<long long>(station.commands().size());
    };
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (judged() < server.datagrams() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(judged(), server.datagrams());
    EXPECT_EQ(station.commands().size(), std::size_t(OscServer::kMaxPendingCommands));
    EXPECT_GT(monitor.count(RemoteMonitor::Kind::OscFlood), 0);

    // Once the station catches up, commands go through again.
    station.SetHold(false);
    station.ReleaseHeld();
    UdpClient desk;
    const std::size_t before = station.commands().size();
    desk.Send(server.port(), OscPacket("/subtitle/next"));
    EXPECT_TRUE(station.WaitFor(before + 1));
}

TEST(RemoteMonitorTest, AFloodMakesOneLineASecondWithItsCount) {
    RemoteMonitor monitor;
    std::mutex mutex;
    QStringList lines;
    monitor.SetSink([&](const QString& line) {
        std::lock_guard lock(mutex);
        lines << line;
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&monitor] {
            for (int i = 0; i < 2500; ++i) {
                monitor.Note(RemoteMonitor::Kind::OscMalformed, QStringLiteral("127.0.0.1"));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    monitor.Flush();
    EXPECT_EQ(monitor.count(RemoteMonitor::Kind::OscMalformed), 10000);
    long long reported = 0;
    for (const QString& line : lines) {
        EXPECT_TRUE(line.startsWith(QStringLiteral("远程控制：格式错误的 OSC 数据包 ×")))
            << line.toStdString();
        reported += line.section(u'×', 1).section(u'（', 0, 0).toLongLong();
    }
    EXPECT_EQ(reported, 10000);
    EXPECT_LE(lines.size(), 3);
}
