// led-card-sim as a user or a script runs it. Kept apart from the thread tests:
// starting processes from a test under ThreadSanitizer upsets its bookkeeping.

#include "LoopbackRig.h"

#include "link/FrameEncoding.h"
#include "link/Replies.h"
#include "outputs/DdpPackets.h"
#include "outputs/DdpSocket.h"

#include "support/TempDir.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

} // namespace

class SimExecutableTest : public ::testing::Test {
protected:
    static QString Program() { return QStringLiteral(LED_CARD_SIM_PATH); }
};

TEST_F(SimExecutableTest, HelpDescribesTheCardFormat) {
    QProcess process;
    process.start(Program(), {QStringLiteral("--help")});
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
    const QString help = QString::fromUtf8(process.readAllStandardOutput());
    for (const char* word : {"--card", "--cards", "--out", "--allow-non-loopback", "stop-after",
                             "ignore-mode", "wrong-seq", "duplicate", "SIGUSR1"}) {
        EXPECT_TRUE(help.contains(QString::fromLatin1(word))) << word;
    }
}

TEST_F(SimExecutableTest, RefusesBadSetups) {
    const QStringList card{QStringLiteral("--card"), QStringLiteral("mac=00-1A-2B-3C-4D-5E")};
    struct Case {
        QStringList args;
        const char* mentions;
    };
    const Case cases[] = {
        {QStringList{QStringLiteral("--bind"), QStringLiteral("192.0.2.1")} + card,
         "--allow-non-loopback"},
        {QStringList{QStringLiteral("--card"), QStringLiteral("mac=00-1A")}, "mac"},
        {{}, "no cards"},
        {QStringList{QStringLiteral("--port-offset"), QStringLiteral("9999")} + card,
         "port-offset"},
        {QStringList{QStringLiteral("--cards"), QStringLiteral("/nonexistent/cards.txt")},
         "cannot read"},
        {QStringList{QStringLiteral("--answer-broadcast")} + card, "--answer-broadcast"},
        {QStringList{QStringLiteral("--answer-broadcast"), QStringLiteral("--allow-non-loopback")} +
             card,
         "--answer-broadcast"},
        {QStringList{QStringLiteral("--answer-broadcast"), QStringLiteral("--bind"),
                     QStringLiteral("192.0.2.1")} +
             card,
         "--allow-non-loopback"},
        {QStringList{QStringLiteral("--geometry"), QStringLiteral("1600x")} + card, "--geometry"},
        {QStringList{QStringLiteral("--geometry"), QStringLiteral("0x500")} + card, "--geometry"},
        {QStringList{QStringLiteral("--geometry"), QStringLiteral("1600x500+8")} + card,
         "--geometry"},
        {QStringList{QStringLiteral("--ddp"), QStringLiteral("wall")}, "--ddp"},
        {QStringList{QStringLiteral("--ddp"), QStringLiteral("70000")}, "--ddp"},
        {QStringList{QStringLiteral("--ddp"), QStringLiteral("0"), QStringLiteral("--ddp-size"),
                     QStringLiteral("0x32")},
         "--ddp-size"},
        {QStringList{QStringLiteral("--ddp"), QStringLiteral("0"), QStringLiteral("--bind"),
                     QStringLiteral("192.0.2.1")},
         "--allow-non-loopback"},
    };
    for (const Case& c : cases) {
        QProcess process;
        process.start(Program(), c.args);
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_NE(process.exitCode(), 0) << c.mentions;
        EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError())
                        .contains(QString::fromLatin1(c.mentions)))
            << c.mentions;
    }
}

TEST_F(SimExecutableTest, ServesTheStationAndWritesItsOutputs) {
    const auto offset = ProbeFreePortOffset();
    ASSERT_TRUE(offset);
    TempDir dir;
    const QString cardsFile = dir.write(
        QStringLiteral("cards.txt"),
        QByteArray("# bank\nmac=02-00-00-00-00-01 name=主屏 model=2 width=64 height=16 colour=0\n"
                   "mac=02-00-00-00-00-02 screen=s\n"));
    QProcess process;
    process.start(Program(), {QStringLiteral("--cards"), cardsFile, QStringLiteral("--port-offset"),
                              QString::number(*offset), QStringLiteral("--log"),
                              dir.file(QStringLiteral("sim.log")), QStringLiteral("--out"),
                              dir.file(QStringLiteral("out")), QStringLiteral("--duration"),
                              QStringLiteral("60")});
    ASSERT_TRUE(process.waitForStarted(10000));
    ASSERT_TRUE(process.waitForReadyRead(10000));
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardOutput())
                    .contains(QStringLiteral("2 card(s) listening on 127.0.0.1")));

    StationLink link(LinkConfig::Loopback(*offset));
    ASSERT_TRUE(link.screen(ScreenId::h).Activate());
    const CardList found = link.Search(ScreenId::h);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].id, QStringLiteral("mac:02-00-00-00-00-01 主屏->") + ModelLabel(2) +
                               QStringLiteral("卡"));
    const MacAddress mac = MacFromEntry(found[0].id);
    ScreenLink& h = link.screen(ScreenId::h);
    ASSERT_TRUE(h.EnsureActive());
    ASSERT_TRUE(h.Transact(link.commands().Connect(mac), LinkBudgets::kConnectSequence));
    QImage picture(64, 16, QImage::Format_RGB888);
    picture.fill(Qt::black);
    picture.setPixelColor(10, 3, QColor(255, 0, 0));
    FrameStore store;
    EncodeLiveFrame(picture, ColourKind::Single, 16, store);
    ASSERT_TRUE(h.Transact(link.commands().WriteData(mac, 0, store.Plane(1).first(1024)),
                           LinkBudgets::kFrameSlice));
    ASSERT_TRUE(h.Transact(link.commands().SwapBuffer(mac, 0, 1, 0, 64), LinkBudgets::kFrameSlice));
    ASSERT_TRUE(h.Transact(link.commands().WriteFlash(mac, 0xB000, Bytes(10, 0x5A)),
                           LinkBudgets::kOfflineTransfer));
    link.DeactivateAll();

    process.terminate(); // SIGTERM: the outputs are written on the way out
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    const QImage shown(dir.file(QStringLiteral("out/02-00-00-00-00-01.png")));
    ASSERT_EQ(shown.size(), QSize(64, 16));
    EXPECT_EQ(shown.pixelColor(10, 3), QColor(255, 0, 0));
    EXPECT_EQ(shown.pixelColor(11, 3), QColor(0, 0, 0));
    const QByteArray flash =
        TempDir::read(dir.file(QStringLiteral("out/02-00-00-00-00-01.flash.bin")));
    ASSERT_EQ(flash.size(), 0xB000 + 10);
    EXPECT_EQ(flash.right(10), QByteArray(10, 0x5A));
    const QString log = QString::fromUtf8(TempDir::read(dir.file(QStringLiteral("sim.log"))));
    for (const char* part : {"Search -> card information", "Connect -> 连接成功",
                             "WriteData unit 0 (byte 0) 1024 bytes", "SwapBuffer effect 0",
                             "WriteFlash address 0xb000 10 bytes"}) {
        EXPECT_TRUE(log.contains(QString::fromUtf8(part))) << part;
    }
}

TEST_F(SimExecutableTest, ADdpReceiverWithoutCardsShowsWhatADdpSenderSends) {
    TempDir dir;
    QProcess process;
    process.start(Program(),
                  {QStringLiteral("--ddp"), QStringLiteral("0"), QStringLiteral("--ddp-size"),
                   QStringLiteral("40x20"), QStringLiteral("--log"),
                   dir.file(QStringLiteral("sim.log")), QStringLiteral("--out"), dir.path(),
                   QStringLiteral("--duration"), QStringLiteral("60")});
    ASSERT_TRUE(process.waitForStarted(10000));
    QString out;
    int port = 0;
    const QRegularExpression announced(
        QStringLiteral("DDP receiver 40x20 on 127.0.0.1 port (\\d+)"));
    for (int i = 0; i < 50 && port == 0; ++i) {
        process.waitForReadyRead(200);
        out += QString::fromUtf8(process.readAllStandardOutput());
        const QRegularExpressionMatch match = announced.match(out);
        if (match.hasMatch()) {
            port = match.captured(1).toInt();
        }
    }
    ASSERT_NE(port, 0) << out.toStdString();

    // Two frames: the second one is what the wall shows at the end.
    QImage picture(40, 20, QImage::Format_RGB888);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x) {
            picture.setPixelColor(x, y, QColor(x * 6, y * 12, 77));
        }
    }
    DdpSocket socket;
    const std::vector<DdpReceiver> wall{{0x7F000001u, port}};
    QImage first(40, 20, QImage::Format_RGB888);
    first.fill(Qt::red);
    ASSERT_EQ(socket.Send(ddp::FramePackets(ddp::PixelBytes(first, {}), 1), wall), 0);
    ASSERT_EQ(socket.Send(ddp::FramePackets(ddp::PixelBytes(picture, {}), 2), wall), 0);
    QFile log(dir.file(QStringLiteral("sim.log")));
    bool logged = false;
    for (int i = 0; i < 100 && !logged; ++i) {
        process.waitForFinished(50);
        log.open(QIODevice::ReadOnly);
        logged = log.readAll().contains(
            QStringLiteral("DDP :%1 frame 2 sequence 2 bytes 2400").arg(port).toUtf8());
        log.close();
    }
    ASSERT_TRUE(logged);

    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
    const QImage shown(dir.file(QStringLiteral("ddp-%1.png").arg(port)));
    EXPECT_EQ(shown.convertToFormat(QImage::Format_RGB888), picture);
}
