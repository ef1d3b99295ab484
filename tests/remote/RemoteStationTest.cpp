// The remotes driving a real main window against a simulated card on
// loopback: the desk tools of liblo, a desk's socket, a page's socket, the
// window's refusals, the monitor and the options.
#include "RemoteStationFixture.h"

#include "OscPackets.h"
#include "UdpClient.h"

#include "ui/LineListView.h"
#include "ui/MonitorForm.h"
#include "ui/RemoteForm.h"

#include <QCheckBox>
#include <QDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSpinBox>
#include <QStandardPaths>
#include <QWebSocket>

namespace {

using namespace std::chrono_literals;

QString Tool(const char* name) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
    EXPECT_FALSE(path.isEmpty()) << name
                                 << " is missing: scripts/install-deps.sh installs liblo-tools";
    return path;
}

// oscsend, as a show-control desk's operator would type it.
bool OscSend(quint16 port, const QStringList& message) {
    QProcess process;
    process.start(Tool("oscsend"),
                  QStringList{QStringLiteral("127.0.0.1"), QString::number(port)} + message);
    return process.waitForFinished(10000) && process.exitCode() == 0;
}

// The reason of the next /subtitle/refused the desk hears.
QString RefusalFor(const UdpClient& desk) {
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents();
        const std::optional<QByteArray> bytes = desk.Receive(50ms);
        if (!bytes) {
            continue;
        }
        OscReceived got = DecodeOsc(*bytes);
        if (got.message == nullptr) {
            continue;
        }
        QString reason;
        if (got.path == "/subtitle/refused") {
            reason = OscText(got.message, 1);
        }
        lo_message_free(got.message);
        if (!reason.isEmpty()) {
            return reason;
        }
    }
    return {};
}

} // namespace

class RemoteStationTest : public RemoteStationFixture {};

TEST_F(RemoteStationTest, OscsendStepsTheCardAndOscdumpHearsTheState) {
    TMainForm& w = Start(RemoteOptions());
    ASSERT_TRUE(w.remote().oscRunning());
    const quint16 port = w.remote().oscPort();

    ASSERT_TRUE(OscSend(port, {QStringLiteral("/subtitle/connect")}));
    ASSERT_TRUE(WaitUntil([&] { return w.live().IsConnected(); }, 20000));

    // A Companion-style listener: subscribed, it hears every change.
    const quint16 dumpPort = FreeUdpPort();
    QProcess dump;
    dump.start(Tool("oscdump"), {QStringLiteral("-L"), QString::number(dumpPort)});
    ASSERT_TRUE(dump.waitForStarted(10000));
    QByteArray heard;
    // The subscription answers with the state at once; until oscdump has its
    // socket, that answer is lost, so subscribe until one arrives.
    ASSERT_TRUE(WaitUntil(
        [&] {
            OscSend(port, {QStringLiteral("/subtitle/subscribe"), QStringLiteral("i"),
                           QString::number(dumpPort)});
            heard += dump.readAllStandardOutput();
            return heard.contains("/subtitle/state");
        },
        20000));

    ASSERT_TRUE(OscSend(port, {QStringLiteral("/subtitle/next")}));
    ASSERT_TRUE(CardShowsLine(w, 1));
    const QImage first = Shown();
    ASSERT_TRUE(OscSend(port, {QStringLiteral("/subtitle/next")}));
    ASSERT_TRUE(CardShowsLine(w, 2));
    const QImage second = Shown();
    ASSERT_TRUE(
        OscSend(port, {QStringLiteral("/subtitle/go"), QStringLiteral("i"), QStringLiteral("5")}));
    ASSERT_TRUE(CardShowsLine(w, 5));
    EXPECT_NE(first, second);
    EXPECT_NE(second, Shown());
    EXPECT_EQ(w.statusText(2), QStringLiteral("【字幕】 第五句"));

    EXPECT_TRUE(WaitUntil([&] {
        heard += dump.readAllStandardOutput();
        return heard.contains("/subtitle/state iisi 1 5 \"第五句\" 1");
    })) << heard.toStdString();
    dump.kill();
    dump.waitForFinished();
}

TEST_F(RemoteStationTest, CommandsAreRefusedWhereTheWindowWouldRefuseThem) {
    TMainForm& w = Start(RemoteOptions());
    UdpClient desk;
    const quint16 port = w.remote().oscPort();
    const auto refusal = [&](const QByteArray& packet) {
        desk.Send(port, packet);
        return RefusalFor(desk);
    };
    const auto number = [](int n) { return [n](lo_message m) { lo_message_add_int32(m, n); }; };

    // Not connected: what needs the link says so, as the window does.
    EXPECT_EQ(refusal(OscPacket("/subtitle/clear")),
              QStringLiteral("请先连接字幕机再发送清屏命令。"));
    EXPECT_EQ(refusal(OscPacket("/subtitle/brightness", number(3))),
              QStringLiteral("请先连接字幕机再发送亮度命令。"));
    EXPECT_EQ(refusal(OscPacket("/subtitle/temp",
                                [](lo_message m) { lo_message_add_string(m, "中场休息"); })),
              QStringLiteral("请先连接字幕机再发送临时信息。"));
    EXPECT_EQ(refusal(OscPacket("/subtitle/disconnect")), QStringLiteral("没有连接。"));
    EXPECT_EQ(refusal(OscPacket("/subtitle/go", number(99))),
              QStringLiteral("没有第99行（共6行）。"));
    EXPECT_EQ(refusal(OscPacket("/subtitle/entry", number(2))),
              QStringLiteral("播放列表中没有第2项（共1项）。"));
    EXPECT_EQ(refusal(OscPacket("/subtitle/pause")), QStringLiteral("没有在播放。"));
    EXPECT_EQ(w.player().selectedLine(), -1);

    // While the operator answers a dialog, nothing from outside acts.
    QDialog dialog(&w);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    ASSERT_TRUE(WaitUntil([] { return QApplication::activeModalWidget() != nullptr; }));
    EXPECT_EQ(refusal(OscPacket("/subtitle/next")), QStringLiteral("字幕机上有对话框未关闭。"));
    EXPECT_EQ(w.player().selectedLine(), -1);
    dialog.close();
    ASSERT_TRUE(WaitUntil([] { return QApplication::activeModalWidget() == nullptr; }));

    // The last line cannot be stepped past.
    desk.Send(port, OscPacket("/subtitle/go", number(6)));
    ASSERT_TRUE(WaitUntil([&] { return w.player().selectedLine() == 5; }));
    EXPECT_EQ(refusal(OscPacket("/subtitle/next")), QStringLiteral("已是最后一行。"));
    EXPECT_EQ(w.player().selectedLine(), 5);
    // None of it opened a message box on the station.
    EXPECT_EQ(answers().shown, QStringList());
}

TEST_F(RemoteStationTest, ThePagesSocketSignsInWithThePinAndStepsTheCard) {
    TMainForm& w = Start(RemoteOptions());
    ASSERT_TRUE(w.remote().webRunning());
    // The PIN is in the status line for the operator to read out.
    auto* status = find<QLabel>(QStringLiteral("RemoteStatus"));
    EXPECT_TRUE(status->isVisible());
    EXPECT_TRUE(status->text().contains(QStringLiteral("PIN 2468")))
        << status->text().toStdString();

    QTest::keyClick(&w, Qt::Key_F5);
    ASSERT_TRUE(w.live().IsConnected());
    std::vector<QJsonObject> received;
    QWebSocket page;
    QObject::connect(&page, &QWebSocket::textMessageReceived, [&](const QString& text) {
        received.push_back(QJsonDocument::fromJson(text.toUtf8()).object());
    });
    page.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(w.remote().webPort())));
    ASSERT_TRUE(WaitUntil([&] { return page.state() == QAbstractSocket::ConnectedState; }));
    const auto last = [&](const char* type, const char* key, const QJsonValue& value) {
        return WaitUntil([&] {
            for (const QJsonObject& message : received) {
                if (message.value(QLatin1String("type")).toString() == QLatin1String(type) &&
                    message.value(QLatin1String(key)) == value) {
                    return true;
                }
            }
            return false;
        });
    };
    page.sendTextMessage(QStringLiteral(R"({"type":"auth","pin":"2468"})"));
    ASSERT_TRUE(last("auth", "ok", true));
    page.sendTextMessage(QStringLiteral(R"({"type":"command","command":"next"})"));
    ASSERT_TRUE(CardShowsLine(w, 1));
    EXPECT_TRUE(last("state", "text", QStringLiteral("第一句")));
    EXPECT_TRUE(last("state", "next", QStringLiteral("第二句")));

    // The keyboard's steps reach the page too.
    auto* lines = find<LineListView>(QStringLiteral("ListView1"));
    QTest::keyClick(lines, Qt::Key_Return);
    ASSERT_TRUE(CardShowsLine(w, 2));
    EXPECT_TRUE(last("state", "line", 2));
}

TEST_F(RemoteStationTest, BadInputIsCountedInTheCommunicationMonitor) {
    TMainForm& w = Start(RemoteOptions());
    find<QAction>(QStringLiteral("N7"))->trigger();
    ASSERT_TRUE(w.monitorWindow().isVisible());
    UdpClient desk;
    for (int i = 0; i < 100; ++i) {
        desk.Send(w.remote().oscPort(), QByteArray("not osc at all"));
    }
    ASSERT_TRUE(WaitUntil(
        [&] { return w.remote().monitor().count(RemoteMonitor::Kind::OscMalformed) == 100; }));
    EXPECT_TRUE(WaitUntil([&] {
        return w.monitorWindow().lines().join(u'\n').contains(
            QStringLiteral("远程控制：格式错误的 OSC 数据包"));
    })) << w.monitorWindow().lines().join(u'\n').toStdString();
    // And the station still takes the next good command.
    desk.Send(w.remote().oscPort(), OscPacket("/subtitle/next"));
    EXPECT_TRUE(WaitUntil([&] { return w.player().selectedLine() == 0; }));
}

TEST_F(RemoteStationTest, OffUntilTheOptionsSwitchThemOn) {
    TMainForm& w = Start();
    EXPECT_FALSE(w.remote().oscRunning());
    EXPECT_FALSE(w.remote().webRunning());
    EXPECT_FALSE(find<QLabel>(QStringLiteral("RemoteStatus"))->isVisible());

    const quint16 oscPort = FreeUdpPort();
    const quint16 webPort = FreeTcpPort();
    answers().forms.push_back([&](QDialog& form) {
        EXPECT_EQ(form.windowTitle(), QStringLiteral("远程控制"));
        form.findChild<QCheckBox*>(QStringLiteral("CheckOsc"))->setChecked(true);
        form.findChild<QSpinBox*>(QStringLiteral("SpinOscPort"))->setValue(oscPort);
        form.findChild<QCheckBox*>(QStringLiteral("CheckWeb"))->setChecked(true);
        form.findChild<QSpinBox*>(QStringLiteral("SpinWebPort"))->setValue(webPort);
        form.findChild<QLineEdit*>(QStringLiteral("EditListen"))
            ->setText(QStringLiteral("127.0.0.1"));
        return int(QDialog::Accepted);
    });
    find<QAction>(QStringLiteral("MenuRemote"))->trigger();
    ASSERT_TRUE(w.remote().oscRunning());
    ASSERT_TRUE(w.remote().webRunning());
    EXPECT_EQ(w.remote().oscPort(), oscPort);
    EXPECT_EQ(w.remote().webPort(), webPort);
    // No PIN chosen: one is made up and shown.
    EXPECT_TRUE(IsValidPin(w.remote().pin()));
    EXPECT_TRUE(w.remoteStatusText().contains(QStringLiteral("PIN ") + w.remote().pin()));
    EXPECT_TRUE(w.remoteStatusText().contains(QStringLiteral("127.0.0.1")));

    const RemoteSettings saved = LoadRemoteSettings(configPath());
    EXPECT_TRUE(saved.oscEnabled);
    EXPECT_EQ(saved.oscPort, oscPort);
    EXPECT_EQ(saved.listen, QStringList{QStringLiteral("127.0.0.1")});
    EXPECT_TRUE(saved.pin.isEmpty());

    // A value the station cannot use keeps the dialog open with the reason.
    answers().forms.push_back([](QDialog& form) {
        form.findChild<QLineEdit*>(QStringLiteral("EditListen"))
            ->setText(QStringLiteral("999.1.1.1"));
        auto& remote = static_cast<TRemoteForm&>(form);
        remote.accept();
        EXPECT_FALSE(remote.result() == QDialog::Accepted);
        EXPECT_FALSE(form.findChild<QLabel*>(QStringLiteral("LabelError"))->text().isEmpty());
        return int(QDialog::Rejected);
    });
    find<QAction>(QStringLiteral("MenuRemote"))->trigger();
    EXPECT_EQ(LoadRemoteSettings(configPath()).listen, QStringList{QStringLiteral("127.0.0.1")});

    // The station's own Config.ini writing at the close keeps the section,
    // and the remotes end with the window.
    w.close();
    ASSERT_TRUE(w.hasClosed());
    EXPECT_FALSE(w.remote().oscRunning());
    EXPECT_FALSE(w.remote().webRunning());
    EXPECT_EQ(LoadRemoteSettings(configPath()), saved);
}
