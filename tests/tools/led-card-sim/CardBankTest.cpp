#include "CardBank.h"
#include "LoopbackRig.h"

#include "link/FrameEncoding.h"
#include "link/Replies.h"

#include "support/TempDir.h"

#include <QCoreApplication>
#include <QFile>

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

// Broadcast answers would reach every host on a real network: loopback (the
// only address a bank may use outside a namespace made for it) never gets them.
TEST(CardBankTest, RefusesToAnswerByBroadcastOnLoopback) {
    for (const bool allowed : {false, true}) {
        BankOptions options;
        options.answerBroadcast = true;
        options.allowNonLoopback = allowed;
        CardBank bank(options);
        bank.AddCard(TestCard(1));
        const LinkStatus status = bank.Start();
        EXPECT_FALSE(status.ok);
        EXPECT_TRUE(status.message.contains(QStringLiteral("broadcast")))
            << status.message.toStdString();
        EXPECT_FALSE(bank.running());
    }
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
