#include "CardBank.h"
#include "LoopbackRig.h"

#include "link/FrameEncoding.h"
#include "link/Replies.h"

#include "support/TempDir.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

} // namespace

TEST(CardBankTest, RefusesNonLoopbackUnlessAllowed) {
    BankOptions options;
    options.bindAddress = Ipv4Address{0xC0000201}; // not loopback
    CardBank bank(options);
    bank.AddCard(TestCard(1));
    const LinkStatus status = bank.Start();
    EXPECT_FALSE(status.ok);
    EXPECT_TRUE(status.message.contains(QStringLiteral("--allow-non-loopback")));
    EXPECT_FALSE(bank.running());
    BankOptions wildcard;
    wildcard.bindAddress = Ipv4Address{0};
    EXPECT_FALSE(CardBank(wildcard).Start().ok);
}

TEST(CardBankTest, BusyPortIsReported) {
    LoopbackRig rig({TestCard(1)});
    ASSERT_TRUE(rig.ok()) << rig.error().toStdString();
    BankOptions options;
    options.portOffset = rig.portOffset();
    CardBank second(options);
    const LinkStatus status = second.Start();
    EXPECT_FALSE(status.ok);
    EXPECT_TRUE(status.message.contains(QStringLiteral("127.0.0.1")))
        << status.message.toStdString();
}

TEST(CardBankTest, LogOutputsAndRestart) {
    SimCardSpec card = TestCard(0x10);
    card.params = MakeCardParams(32, 16, 0, 1);
    LoopbackRig rig({card});
    ASSERT_TRUE(rig.ok()) << rig.error().toStdString();
    QStringList sunk;
    std::mutex sunkMutex;
    rig.bank().SetLogSink([&](const QString& line) {
        std::lock_guard lock(sunkMutex);
        sunk << line;
    });
    StationLink& link = rig.link();
    ScreenLink& h = link.screen(ScreenId::h);
    ASSERT_TRUE(h.Transact(link.commands().Connect(card.mac), LinkBudgets::kFrameConnect));
    QImage picture(32, 16, QImage::Format_RGB888);
    picture.fill(QColor(255, 255, 0));
    FrameStore store;
    EncodeLiveFrame(picture, ColourKind::Dual, 16, store);
    ASSERT_TRUE(h.Transact(link.commands().WriteData(card.mac, 0, store.Plane(1).first(512)),
                           LinkBudgets::kFrameSlice));
    ASSERT_TRUE(h.Transact(link.commands().WriteData(card.mac, 50, store.Plane(2).first(512)),
                           LinkBudgets::kFrameSlice));
    ASSERT_TRUE(
        h.Transact(link.commands().SwapBuffer(card.mac, 2, 3, 4, 32), LinkBudgets::kFrameSlice));
    ASSERT_TRUE(h.Transact(link.commands().WriteFlash(card.mac, 0x1000, Bytes(100, 0xAB)),
                           LinkBudgets::kOfflineTransfer));

    const QStringList log = rig.bank().Log();
    ASSERT_EQ(log.size(), 5);
    EXPECT_TRUE(log[0].startsWith(QStringLiteral("[h] 127.0.0.1:")));
    EXPECT_TRUE(log[0].endsWith(QStringLiteral("02-00-00-00-00-10 Connect -> 连接成功")))
        << log[0].toStdString();
    EXPECT_TRUE(log[2].contains(QStringLiteral("WriteData unit 50 (byte 12800) 512 bytes")));
    EXPECT_TRUE(log[3].contains(QStringLiteral("SwapBuffer effect 2 speed 3 stay 4 extent 32")));
    EXPECT_TRUE(log[4].contains(QStringLiteral("WriteFlash address 0x1000 100 bytes")));
    {
        std::lock_guard lock(sunkMutex);
        EXPECT_EQ(sunk, log);
    }

    TempDir dir;
    const QString out = dir.file(QStringLiteral("out"));
    ASSERT_TRUE(rig.bank().SaveOutputs(out));
    QImage png(out + QStringLiteral("/02-00-00-00-00-10.png"));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.size(), QSize(32, 16));
    EXPECT_EQ(png.pixelColor(31, 15), QColor(255, 255, 0));
    const QByteArray flash = TempDir::read(out + QStringLiteral("/02-00-00-00-00-10.flash.bin"));
    ASSERT_EQ(flash.size(), 0x1000 + 100);
    EXPECT_EQ(static_cast<std::uint8_t>(flash[0x1000]), 0xAB);
    EXPECT_EQ(static_cast<std::uint8_t>(flash[0]), 0xFF); // erased flash

    // A stopped bank answers nothing; started again it does.
    rig.bank().Stop();
    EXPECT_FALSE(h.Transact(link.commands().Connect(card.mac), {1, 20, 1}));
    ASSERT_TRUE(rig.bank().Start());
    EXPECT_TRUE(h.Transact(link.commands().Connect(card.mac), LinkBudgets::kFrameConnect));
    EXPECT_TRUE(rig.bank().Card(card.mac)->connected);
}

// The executable, as a user or a script runs it.
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
