// The web remote on loopback with a stand-in for the station: the page files,
// the PIN, commands and their answers, pushed state, and everything it must
// refuse without falling over.
#include "support/Wait.h"

#include "remote/RemoteMonitor.h"
#include "remote/WebRemote.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Runs commands on this (the test's) thread, as the station's window would.
class FakeStation : public QObject {
public:
    WebRemote::Submit submit() {
        return [this](const RemoteCommand& command, WebRemote::Reply reply) {
            QMetaObject::invokeMethod(
                this,
                [this, command, reply] {
                    commands.push_back(command);
                    reply(answer);
                },
                Qt::QueuedConnection);
        };
    }
    std::vector<RemoteCommand> commands;
    RemoteResult answer = RemoteResult::Done();
};

// A page's socket: the messages it received, decoded.
class PageSocket {
public:
    explicit PageSocket(quint16 port) {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            received.push_back(QJsonDocument::fromJson(text.toUtf8()).object());
        });
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port)));
    }
    bool WaitOpen() {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; },
                               10000);
    }
    bool WaitClosed() {
        return QTest::qWaitFor(
            [this] { return socket.state() == QAbstractSocket::UnconnectedState; }, 10000);
    }
    void Send(const QString& text) { socket.sendTextMessage(text); }
    // The next message of that type received after `from` (an index into received).
    std::optional<QJsonObject> WaitFor(const QString& type, std::size_t& from) {
        std::optional<QJsonObject> found;
        (void)QTest::qWaitFor(
            [&] {
                for (; from < received.size(); ++from) {
                    if (received[from].value(QLatin1String("type")).toString() == type) {
                        found = received[from++];
                        return true;
                    }
                }
                return false;
            },
            10000);
        return found;
    }

    QWebSocket socket;
    std::vector<QJsonObject> received;
};

QByteArray HttpGet(quint16 port, const QByteArray& request) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000)) {
        return {};
    }
    socket.write(request);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000)) {
        answer += socket.readAll();
    }
    return answer + socket.readAll();
}

class WebRemoteTest : public ::testing::Test {
protected:
    void SetUp() override {
        WebServerConfig config;
        config.listen = {QHostAddress(QHostAddress::LocalHost)};
        config.pin = QStringLiteral("2468");
        ASSERT_EQ(remote.Start(config, station.submit()), QString());
        ASSERT_NE(remote.port(), 0);
        state.entry = 1;
        state.line = 2;
        state.lineCount = 3;
        state.text = QStringLiteral("第二句");
        state.nextText = QStringLiteral("第三句");
        state.connected = true;
        const QStringList lines{QStringLiteral("第一句"), QStringLiteral("第二句"),
                                QStringLiteral("第三句")};
        remote.Publish(state, &lines);
    }

    std::unique_ptr<PageSocket> SignedIn() {
        auto page = std::make_unique<PageSocket>(remote.port());
        EXPECT_TRUE(page->WaitOpen());
        page->Send(QStringLiteral(R"({"type":"auth","pin":"2468"})"));
        std::size_t at = 0;
        const std::optional<QJsonObject> auth = page->WaitFor(QStringLiteral("auth"), at);
        EXPECT_TRUE(auth && auth->value(QLatin1String("ok")).toBool());
        return page;
    }

    RemoteMonitor monitor;
    FakeStation station;
    WebRemote remote{monitor};
    RemoteShowState state;
};

} // namespace

TEST_F(WebRemoteTest, ThePageFilesAndNothingElse) {
    const QByteArray page = HttpGet(remote.port(), "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(page.startsWith("HTTP/1.1 200 OK\r\n")) << page.left(200).toStdString();
    EXPECT_TRUE(page.contains("<script src=\"remote.js\"></script>"));
    EXPECT_TRUE(HttpGet(remote.port(), "GET /remote.js HTTP/1.1\r\n\r\n").contains("WebSocket"));
    EXPECT_TRUE(
        HttpGet(remote.port(), "GET /Config.ini HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 404"));
    EXPECT_TRUE(HttpGet(remote.port(), "DELETE / HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 405"));
    EXPECT_TRUE(
        HttpGet(remote.port(), "GET / HTTP/1.1\nHost: x\r\n\r\n").startsWith("HTTP/1.1 400"));
    EXPECT_TRUE(HttpGet(remote.port(), "GET / HTTP/1.1\r\nX: " + QByteArray(20000, 'a'))
                    .startsWith("HTTP/1.1 431"));
    EXPECT_EQ(monitor.count(RemoteMonitor::Kind::HttpBadRequest), 3);
    EXPECT_TRUE(WaitUntil([this] { return remote.connections() == 0; })) << remote.connections();
}

TEST_F(WebRemoteTest, ThePinOpensTheRemoteAndTheStateIsPushed) {
    PageSocket page(remote.port());
    ASSERT_TRUE(page.WaitOpen());
    std::size_t at = 0;
    // Commands before the PIN go nowhere.
    page.Send(QStringLiteral(R"({"type":"command","command":"next"})"));
    ASSERT_TRUE(page.WaitFor(QStringLiteral("error"), at));
    page.Send(QStringLiteral(R"({"type":"auth","pin":"1111"})"));
    std::optional<QJsonObject> auth = page.WaitFor(QStringLiteral("auth"), at);
    ASSERT_TRUE(auth);
    EXPECT_FALSE(auth->value(QLatin1String("ok")).toBool());
    EXPECT_FALSE(auth->value(QLatin1String("reason")).toString().isEmpty());
    EXPECT_EQ(monitor.count(RemoteMonitor::Kind::WebWrongPin), 1);

    page.Send(QStringLiteral(R"({"type":"auth","pin":"2468"})"));
    auth = page.WaitFor(QStringLiteral("auth"), at);
    ASSERT_TRUE(auth);
    EXPECT_TRUE(auth->value(QLatin1String("ok")).toBool());
    // At once: where the show stands, with the line list.
    std::optional<QJsonObject> shown = page.WaitFor(QStringLiteral("state"), at);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->value(QLatin1String("text")).toString(), QStringLiteral("第二句"));
    EXPECT_EQ(shown->value(QLatin1String("next")).toString(), QStringLiteral("第三句"));
    EXPECT_EQ(shown->value(QLatin1String("lines")).toArray().size(), 3);
    EXPECT_TRUE(station.commands.empty());

    page.Send(QStringLiteral(R"({"type":"command","command":"go","number":3})"));
    std::optional<QJsonObject> result = page.WaitFor(QStringLiteral("result"), at);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->value(QLatin1String("ok")).toBool());
    ASSERT_EQ(station.commands.size(), 1u);
    EXPECT_EQ(station.commands[0], (RemoteCommand{RemoteVerb::GoToLine, 3, {}, {}}));

    station.answer = RemoteResult::Refused(QStringLiteral("已是最后一行。"));
    page.Send(QStringLiteral(R"({"type":"command","command":"next"})"));
    result = page.WaitFor(QStringLiteral("result"), at);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->value(QLatin1String("ok")).toBool());
    EXPECT_EQ(result->value(QLatin1String("reason")).toString(), QStringLiteral("已是最后一行。"));

    // A change is pushed without the lines, which have not changed.
    state.line = 3;
    state.text = QStringLiteral("第三句");
    remote.Publish(state, nullptr);
    shown = page.WaitFor(QStringLiteral("state"), at);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->value(QLatin1String("line")).toInt(), 3);
    EXPECT_FALSE(shown->contains(QLatin1String("lines")));
}

TEST_F(WebRemoteTest, WrongPinsCloseTheSocketAndLockTheAddressOut) {
    for (int socketNo = 0; socketNo < 2; ++socketNo) {
        PageSocket page(remote.port());
        ASSERT_TRUE(page.WaitOpen());
        for (int i = 0; i < 3; ++i) {
            page.Send(QStringLiteral(R"({"type":"auth","pin":"0000"})"));
        }
        EXPECT_TRUE(page.WaitClosed()) << "three wrong PINs close the socket";
    }
    // Five wrong PINs within the minute: even the right one is refused now.
    PageSocket page(remote.port());
    ASSERT_TRUE(page.WaitOpen());
    page.Send(QStringLiteral(R"({"type":"auth","pin":"2468"})"));
    std::size_t at = 0;
    const std::optional<QJsonObject> auth = page.WaitFor(QStringLiteral("auth"), at);
    ASSERT_TRUE(auth);
    EXPECT_FALSE(auth->value(QLatin1String("ok")).toBool());
    EXPECT_GE(monitor.count(RemoteMonitor::Kind::WebPinLocked), 1);
    EXPECT_TRUE(station.commands.empty());
}

TEST_F(WebRemoteTest, BadFramesBadMessagesAndFloodsAreClosedAndCounted) {
    {
        std::unique_ptr<PageSocket> page = SignedIn();
        page->socket.sendBinaryMessage(QByteArray("\x00\x01", 2));
        EXPECT_TRUE(page->WaitClosed());
    }
    {
        std::unique_ptr<PageSocket> page = SignedIn();
        page->Send(QString(20000, u'x'));
        EXPECT_TRUE(page->WaitClosed());
    }
    {
        std::unique_ptr<PageSocket> page = SignedIn();
        for (int i = 0; i < 5; ++i) {
            page->Send(QStringLiteral("{not json"));
        }
        EXPECT_TRUE(page->WaitClosed());
    }
    {
        std::unique_ptr<PageSocket> page = SignedIn();
        for (int i = 0; i < 50; ++i) {
            page->Send(QStringLiteral(R"({"type":"command","command":"next"})"));
        }
        EXPECT_TRUE(page->WaitClosed());
    }
    EXPECT_EQ(monitor.count(RemoteMonitor::Kind::WebBadMessage), 1 + 5);
    EXPECT_EQ(monitor.count(RemoteMonitor::Kind::WebBadFrame), 1);
    EXPECT_EQ(monitor.count(RemoteMonitor::Kind::WebFlood), 1);
    EXPECT_LE(station.commands.size(), std::size_t(20));
    EXPECT_TRUE(WaitUntil([this] { return remote.connections() == 0; })) << remote.connections();
}

TEST_F(WebRemoteTest, BadFramesEndTheConnectionEvenWhenThePeerNeverAnswersTheClose) {
    struct Case {
        const char* name;
        QByteArray frame;
    };
    const Case cases[] = {
        {"reserved opcode", QByteArray("\x83\x80\x01\x02\x03\x04", 6)},
        {"a terabyte", QByteArray("\x81\xff\x00\x00\x01\x00\x00\x00\x00\x00\x01\x02\x03\x04", 14)},
        {"binary", QByteArray("\x82\x82\x01\x02\x03\x04\x01\x02", 8)},
        {"reserved bits", QByteArray("\xf1\x80\x01\x02\x03\x04", 6)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, remote.port());
        ASSERT_TRUE(peer.waitForConnected(5000));
        peer.write(
            "GET /ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        QByteArray head;
        ASSERT_TRUE(WaitUntil([&] {
            head += peer.readAll();
            return head.contains("\r\n\r\n");
        }));
        ASSERT_TRUE(head.startsWith("HTTP/1.1 101")) << head.toStdString();
        // The remote closes; this peer never answers the close.
        peer.write(c.frame);
        EXPECT_TRUE(WaitUntil([&] { return remote.connections() == 0; }, 5000))
            << remote.connections();
        EXPECT_TRUE(WaitUntil([&] { return peer.state() == QAbstractSocket::UnconnectedState; }));
    }
    EXPECT_EQ(monitor.count(RemoteMonitor::Kind::WebBadFrame) +
                  monitor.count(RemoteMonitor::Kind::WebBadMessage),
              4);
}

TEST_F(WebRemoteTest, ConnectionsBeyondTheLimitAreClosedAtOnce) {
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < WebRemote::kMaxConnections; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, remote.port());
        ASSERT_TRUE(socket->waitForConnected(5000));
        held.push_back(std::move(socket));
    }
    ASSERT_TRUE(WaitUntil([this] { return remote.connections() == WebRemote::kMaxConnections; }));
    QTcpSocket extra;
    extra.connectToHost(QHostAddress::LocalHost, remote.port());
    ASSERT_TRUE(extra.waitForConnected(5000));
    EXPECT_TRUE(WaitUntil([&extra] { return extra.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(monitor.count(RemoteMonitor::Kind::WebTooManyConnections), 1);
    held.clear();
    EXPECT_TRUE(WaitUntil([this] { return remote.connections() == 0; })) << remote.connections();
    // And the remote serves again.
    EXPECT_TRUE(HttpGet(remote.port(), "GET / HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200"));
}
