// What the remotes read from outside: the OSC address space, the web remote's
// messages and the HTTP request head, good and bad.
#include "OscPackets.h"

#include "remote/HttpRequest.h"
#include "remote/OscProtocol.h"
#include "remote/WebProtocol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

struct OscCase {
    const char* name;
    QByteArray packet;
    OscRefusal refusal;
    std::optional<OscRequest::Kind> kind;
    RemoteCommand command;
    int port = 0;
};

RemoteCommand Cmd(RemoteVerb verb, int number = 0, QString row1 = {}, QString row2 = {}) {
    return RemoteCommand{verb, number, std::move(row1), std::move(row2)};
}

const auto I = [](int v) { return [v](lo_message m) { lo_message_add_int32(m, v); }; };
const auto F = [](float v) { return [v](lo_message m) { lo_message_add_float(m, v); }; };
const auto S = [](const char* v) { return [v](lo_message m) { lo_message_add_string(m, v); }; };

} // namespace

TEST(OscProtocol, TheAddressSpaceAndItsArguments) {
    using K = OscRequest::Kind;
    const QByteArray longRow(kMaxRemoteRowLength + 1, 'x');
    const OscCase cases[] = {
        {"next", OscPacket("/subtitle/next"), OscRefusal::None, K::Command, Cmd(RemoteVerb::Next)},
        {"prev", OscPacket("/subtitle/prev"), OscRefusal::None, K::Command,
         Cmd(RemoteVerb::Previous)},
        {"button press", OscPacket("/subtitle/next", F(1.0f)), OscRefusal::None, K::Command,
         Cmd(RemoteVerb::Next)},
        {"button release", OscPacket("/subtitle/next", F(0.0f)), OscRefusal::None, K::Ignored, {}},
        {"true", OscPacket("/subtitle/clear", [](lo_message m) { lo_message_add_true(m); }),
         OscRefusal::None, K::Command, Cmd(RemoteVerb::Clear)},
        {"text on a button",
         OscPacket("/subtitle/stop", S("now")),
         OscRefusal::WrongArguments,
         std::nullopt,
         {}},
        {"go 5", OscPacket("/subtitle/go", I(5)), OscRefusal::None, K::Command,
         Cmd(RemoteVerb::GoToLine, 5)},
        {"go 5.0", OscPacket("/subtitle/go", F(5.0f)), OscRefusal::None, K::Command,
         Cmd(RemoteVerb::GoToLine, 5)},
        {"go as int64", OscPacket("/subtitle/go", [](lo_message m) { lo_message_add_int64(m, 7); }),
         OscRefusal::None, K::Command, Cmd(RemoteVerb::GoToLine, 7)},
        {"go 5.5",
         OscPacket("/subtitle/go", F(5.5f)),
         OscRefusal::WrongArguments,
         std::nullopt,
         {}},
        {"go NaN",
         OscPacket("/subtitle/go", F(std::nanf(""))),
         OscRefusal::WrongArguments,
         std::nullopt,
         {}},
        {"go 0", OscPacket("/subtitle/go", I(0)), OscRefusal::WrongArguments, std::nullopt, {}},
        {"go huge",
         OscPacket("/subtitle/go", [](lo_message m) { lo_message_add_double(m, 1e12); }),
         OscRefusal::WrongArguments,
         std::nullopt,
         {}},
        {"go text",
         OscPacket("/subtitle/go", S("5")),
         OscRefusal::WrongArguments,
         std::nullopt,
         {}},
        {"go nothing", OscPacket("/subtitle/go"), OscRefusal::WrongArguments, std::nullopt, {}},
        {"entry 2", OscPacket("/subtitle/entry", I(2)), OscRefusal::None, K::Command,
         Cmd(RemoteVerb::SelectEntry, 2)},
        {"brightness 16", OscPacket("/subtitle/brightness", I(16)), OscRefusal::None, K::Command,
         Cmd(RemoteVerb::Brightness, 16)},
        {"brightness 0", OscPacket("/subtitle/brightness", I(0)), OscRefusal::None, K::Command,
         Cmd(RemoteVerb::Brightness, 0)},
        {"brightness 17",
         OscPacket("/subtitle/brightness", I(17)),
         OscRefusal::WrongArguments,
         std::nullopt,
         {}},
        {"temp two rows",
         OscPacket("/subtitle/temp",
                   [](lo_message m) {
                       lo_message_add_string(m, "中场休息");
                       lo_message_add_string(m, "十五分钟");
                   }),
         OscRefusal::None, K::Command,
         Cmd(RemoteVerb::TempText, 0, QStringLiteral("中场休息"), QStringLiteral("十五分钟"))},
        {"temp one row", OscPacket("/subtitle/temp", S("请关闭手机")), OscRefusal::None, K::Command,
         Cmd(RemoteVerb::TempText, 0, QStringLiteral("请关闭手机"))},
        {"temp too long",
         OscPacket("/subtitle/temp", S(longRow.constData())),
         OscRefusal::WrongArguments,
         std::nullopt,
         {}},
        {"temp number",
         OscPacket("/subtitle/temp", I(1)),
         OscRefusal::WrongArguments,
         std::nullopt,
         {}},
        {"play", OscPacket("/subtitle/play"), OscRefusal::None, K::Command, Cmd(RemoteVerb::Play)},
        {"pause", OscPacket("/subtitle/pause"), OscRefusal::None, K::Command,
         Cmd(RemoteVerb::Pause)},
        {"subscribe",
         OscPacket("/subtitle/subscribe", I(9001)),
         OscRefusal::None,
         K::Subscribe,
         {},
         9001},
        {"unsubscribe",
         OscPacket("/subtitle/subscribe", I(0)),
         OscRefusal::None,
         K::Subscribe,
         {},
         0},
        {"subscribe beyond ports",
         OscPacket("/subtitle/subscribe", I(70000)),
         OscRefusal::WrongArguments,
         std::nullopt,
         {}},
        {"unknown verb",
         OscPacket("/subtitle/explode"),
         OscRefusal::UnknownAddress,
         std::nullopt,
         {}},
        {"other space", OscPacket("/cue/next"), OscRefusal::UnknownAddress, std::nullopt, {}},
        {"bundle",
         QByteArray("#bundle\0\0\0\0\0\0\0\0\1", 16),
         OscRefusal::Bundle,
         std::nullopt,
         {}},
        {"garbage", QByteArray("\xff\xfe not osc at all"), OscRefusal::Malformed, std::nullopt, {}},
        {"empty", QByteArray(), OscRefusal::Malformed, std::nullopt, {}},
        {"cut short",
         OscPacket("/subtitle/go", I(5)).left(18),
         OscRefusal::Malformed,
         std::nullopt,
         {}},
        {"oversized",
         QByteArray(int(kMaxOscPacket) + 1, '/'),
         OscRefusal::Oversized,
         std::nullopt,
         {}},
    };
    for (const OscCase& c : cases) {
        SCOPED_TRACE(c.name);
        const OscParse parse = ParseOscPacket(c.packet.constData(), std::size_t(c.packet.size()));
        EXPECT_EQ(parse.refusal, c.refusal);
        ASSERT_EQ(parse.request.has_value(), c.kind.has_value());
        if (c.kind) {
            EXPECT_EQ(parse.request->kind, *c.kind);
            if (*c.kind == OscRequest::Kind::Command) {
                EXPECT_EQ(parse.request->command, c.command);
            }
            if (*c.kind == OscRequest::Kind::Subscribe) {
                EXPECT_EQ(parse.request->port, c.port);
            }
        } else {
            EXPECT_FALSE(parse.detail.isEmpty());
        }
    }
}

TEST(OscProtocol, StateAndRefusalMessagesDecodeAsSent) {
    RemoteShowState state;
    state.entry = 2;
    state.line = 5;
    state.text = QStringLiteral("第五句");
    state.connected = true;
    OscReceived got = DecodeOsc(OscStateMessage(state));
    ASSERT_NE(got.message, nullptr);
    EXPECT_EQ(got.path, "/subtitle/state");
    EXPECT_EQ(got.types, "iisi");
    EXPECT_EQ(OscInt(got.message, 0), 2);
    EXPECT_EQ(OscInt(got.message, 1), 5);
    EXPECT_EQ(OscText(got.message, 2), QStringLiteral("第五句"));
    EXPECT_EQ(OscInt(got.message, 3), 1);
    lo_message_free(got.message);

    got = DecodeOsc(OscRefusedMessage(QStringLiteral("/subtitle/clear"), QStringLiteral("未连接")));
    ASSERT_NE(got.message, nullptr);
    EXPECT_EQ(got.path, "/subtitle/refused");
    EXPECT_EQ(got.types, "ss");
    lo_message_free(got.message);
}

TEST(WebProtocol, MessagesFromThePage) {
    struct Case {
        QString text;
        bool ok;
        WebRequest::Kind kind = WebRequest::Kind::Command;
        RemoteCommand command{};
        QString pin{};
    };
    const Case cases[] = {
        {QStringLiteral(R"({"type":"auth","pin":"123456"})"),
         true,
         WebRequest::Kind::Auth,
         {},
         QStringLiteral("123456")},
        {QStringLiteral(R"({"type":"auth","pin":123456})"), false},
        {QStringLiteral(R"({"type":"command","command":"next"})"), true, WebRequest::Kind::Command,
         Cmd(RemoteVerb::Next)},
        {QStringLiteral(R"({"type":"command","command":"go","number":12})"), true,
         WebRequest::Kind::Command, Cmd(RemoteVerb::GoToLine, 12)},
        {QStringLiteral(R"({"type":"command","command":"go","number":"12"})"), false},
        {QStringLiteral(R"({"type":"command","command":"go","number":0})"), false},
        {QStringLiteral(R"({"type":"command","command":"go","number":1.5})"), false},
        {QStringLiteral(R"({"type":"command","command":"go","number":1e300})"), false},
        {QStringLiteral(R"({"type":"command","command":"brightness","number":17})"), false},
        {QStringLiteral(R"({"type":"command","command":"temp","row1":"中场","row2":"休息"})"), true,
         WebRequest::Kind::Command,
         Cmd(RemoteVerb::TempText, 0, QStringLiteral("中场"), QStringLiteral("休息"))},
        {QStringLiteral(R"({"type":"command","command":"temp","row1":")") +
             QString(kMaxRemoteRowLength + 1, u'x') + QStringLiteral(R"("})"),
         false},
        {QStringLiteral(R"({"type":"command","command":"rm -rf"})"), false},
        {QStringLiteral(R"({"type":"shell"})"), false},
        {QStringLiteral(R"([1,2,3])"), false},
        {QStringLiteral("not json"), false},
        {QStringLiteral(R"({"type":"auth","pin":")") + QString(kMaxWebMessage, u'1') +
             QStringLiteral(R"("})"),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.left(80).toStdString());
        const WebParse parse = ParseWebMessage(c.text);
        ASSERT_EQ(parse.request.has_value(), c.ok) << parse.error.toStdString();
        if (c.ok) {
            EXPECT_EQ(parse.request->kind, c.kind);
            EXPECT_EQ(parse.request->pin, c.pin);
            if (c.kind == WebRequest::Kind::Command) {
                EXPECT_EQ(parse.request->command, c.command);
            }
        } else {
            EXPECT_FALSE(parse.error.isEmpty());
        }
    }
}

TEST(HttpRequest, OnlyThePageFilesAndTheSocketAreServed) {
    struct Case {
        QByteArray request;
        HttpHeadParse::State state;
        int status; // of the parse (Bad) or the route (Complete)
        HttpRoute::Kind kind = HttpRoute::Kind::Error;
        QString resource{};
    };
    const QByteArray upgrade = "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                               "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                               "Sec-WebSocket-Version: 13\r\n\r\n";
    const Case cases[] = {
        {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", HttpHeadParse::State::Complete, 200,
         HttpRoute::Kind::File, QStringLiteral(":/remote/web/index.html")},
        {"GET /remote.js?v=3 HTTP/1.0\r\n\r\n", HttpHeadParse::State::Complete, 200,
         HttpRoute::Kind::File, QStringLiteral(":/remote/web/remote.js")},
        {"HEAD /remote.css HTTP/1.1\r\n\r\n", HttpHeadParse::State::Complete, 200,
         HttpRoute::Kind::File, QStringLiteral(":/remote/web/remote.css")},
        {"GET /ws HTTP/1.1\r\nHost: x\r\n" + upgrade, HttpHeadParse::State::Complete, 101,
         HttpRoute::Kind::WebSocket},
        {"GET /ws HTTP/1.1\r\nHost: x\r\n\r\n", HttpHeadParse::State::Complete, 400},
        {"POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", HttpHeadParse::State::Complete, 405},
        {"GET / HTTP/1.1\r\nContent-Length: 3\r\n\r\n", HttpHeadParse::State::Complete, 400},
        {"GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", HttpHeadParse::State::Complete,
         400},
        {"GET /../../etc/passwd HTTP/1.1\r\n\r\n", HttpHeadParse::State::Complete, 404},
        {"GET /%2e%2e/Config.ini HTTP/1.1\r\n\r\n", HttpHeadParse::State::Complete, 404},
        {"GET / HTTP/2.0\r\n\r\n", HttpHeadParse::State::Bad, 400},
        {"GET /\r\n\r\n", HttpHeadParse::State::Bad, 400},
        {"GET / HTTP/1.1\nHost: x\r\n\r\n", HttpHeadParse::State::Bad, 400},
        {"GET / HTTP/1.1\r\nHost: x\r\n folded\r\n\r\n", HttpHeadParse::State::Bad, 400},
        {"GET / HTTP/1.1\r\n: empty\r\n\r\n", HttpHeadParse::State::Bad, 400},
        {"GET / HTTP/1.1\r\nHost: a\x01"
         "b\r\n\r\n",
         HttpHeadParse::State::Bad, 400},
        {"GET / HTTP/1.1\r\nHost: x\r\n", HttpHeadParse::State::Incomplete, 0},
        {"GET / HTTP/1.1\r\nX: " + QByteArray(kMaxHttpHead, 'a'), HttpHeadParse::State::Bad, 431},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.left(60).toStdString());
        const HttpHeadParse parse = ParseHttpHead(c.request);
        ASSERT_EQ(parse.state, c.state);
        if (c.state == HttpHeadParse::State::Bad) {
            EXPECT_EQ(parse.status, c.status);
        }
        if (c.state == HttpHeadParse::State::Complete) {
            const HttpRoute route = RouteHttpRequest(parse.head);
            EXPECT_EQ(route.kind, c.kind);
            EXPECT_EQ(route.status, c.status);
            EXPECT_EQ(route.resource, c.resource);
        }
    }

    QByteArray many = "GET / HTTP/1.1\r\n";
    for (int i = 0; i <= kMaxHttpHeaders; ++i) {
        many += "X-" + QByteArray::number(i) + ": 1\r\n";
    }
    EXPECT_EQ(ParseHttpHead(many + "\r\n").status, 431);
}

TEST(HttpRequest, ResponsesCloseAndKeepThePageToItself) {
    const QByteArray response = HttpResponse(200, "text/plain", "hello");
    EXPECT_TRUE(response.startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(response.contains("Content-Length: 5\r\n"));
    EXPECT_TRUE(response.contains("Connection: close\r\n"));
    EXPECT_TRUE(response.contains("Content-Security-Policy: default-src 'self'"));
    EXPECT_TRUE(response.endsWith("\r\n\r\nhello"));
    EXPECT_TRUE(HttpResponse(200, "text/plain", "hello", true).endsWith("\r\n\r\n"));
}
