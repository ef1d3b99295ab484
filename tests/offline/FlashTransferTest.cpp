// Writing offline content into simulated cards on 127.0.0.1: block plans,
// log lines and progress, failing cards, lost replies and cancelling.
#include "offline/FlashTransfer.h"
#include "offline/AdvertFile.h"
#include "offline/OfflineCommands.h"
#include "offline/OfflineRecords.h"
#include "offline/OfflineSender.h"

#include "link/LiveTestSupport.h"
#include "support/ScriptedOperator.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

QByteArray RandomBytes(qsizetype size, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xFF);
    }
    return bytes;
}

// The dialog's log: lines as the operator reads them, with the progress line
// replaced in place, and the progress bar's last state.
class RecordingLog final : public OfflineLog {
public:
    void Append(const QString& line) override { lines << line; }
    void ReplaceLast(const QString& line) override {
        if (lines.isEmpty()) {
            lines << line;
        } else {
            lines.last() = line;
        }
    }
    void Clear() override { lines.clear(); }
    void ShowProgress(const QString& card, int sent, int total) override {
        progressCard = card;
        progressSent = sent;
        progressTotal = total;
        if (onProgress) {
            onProgress(sent);
        }
    }
    QStringList lines;
    QString progressCard;
    int progressSent = -1;
    int progressTotal = -1;
    std::function<void(int)> onProgress;
};

TEST(TransferPlans, SubtitleBlocks) {
    struct Case {
        qsizetype size;
        std::size_t full;
        int partial; // valid bytes of the last block, 0 for none
    };
    for (const Case& c :
         {Case{8343552, 8148, 0}, Case{5000, 4, 904}, Case{4096, 4, 0}, Case{100, 0, 100}}) {
        const QByteArray file = RandomBytes(c.size, 1);
        const TransferPlan plan = SubtitleTransferPlan(file);
        ASSERT_EQ(plan.full.size(), c.full) << c.size;
        EXPECT_FALSE(plan.lead.has_value());
        EXPECT_EQ(plan.total, static_cast<int>(c.size / 1024));
        for (std::size_t k = 0; k < plan.full.size(); ++k) {
            ASSERT_EQ(plan.full[k].address, 0xB000u + 1024u * k);
            ASSERT_EQ(plan.full[k].valid, 1024);
        }
        EXPECT_EQ(plan.partial.has_value(), c.partial != 0);
        if (plan.partial) {
            EXPECT_EQ(plan.partial->address, 0xB000u + 1024u * c.full);
            EXPECT_EQ(plan.partial->valid, c.partial);
            EXPECT_EQ(plan.partial->payload, file.right(c.partial));
        }
    }
    EXPECT_EQ(SubtitleTransferPlan(RandomBytes(8343552, 1)).full.back().address,
              0xB000u + 8147u * 1024u);
}

TEST(TransferPlans, AdvertBlocks) {
    // 14 + 1024 bytes: the lead block and 14 bytes at 0x1400.
    const QByteArray small = RandomBytes(14 + 1024, 2);
    TransferPlan plan = AdvertTransferPlan(small);
    ASSERT_TRUE(plan.lead && plan.partial);
    EXPECT_EQ(plan.lead->address, 0x1000u);
    EXPECT_EQ(plan.lead->valid, 1024);
    EXPECT_EQ(plan.lead->payload, small.left(1024));
    EXPECT_TRUE(plan.full.empty());
    EXPECT_EQ(plan.partial->address, 0x1400u);
    EXPECT_EQ(plan.partial->payload, small.right(14));

    // 5600 data bytes: four full blocks from 0x1400, 494 bytes at 0x2400.
    const QByteArray wide = RandomBytes(14 + 5600, 3);
    plan = AdvertTransferPlan(wide);
    ASSERT_EQ(plan.full.size(), 4u);
    EXPECT_EQ(plan.full.front().address, 0x1400u);
    EXPECT_EQ(plan.full.back().address, 0x2000u);
    ASSERT_TRUE(plan.partial);
    EXPECT_EQ(plan.partial->address, 0x2400u);
    EXPECT_EQ(plan.partial->valid, 494);

    // A file shorter than a block: the lead carries it, zeros after it.
    plan = AdvertTransferPlan(QByteArray(100, 'a'));
    EXPECT_EQ(plan.lead->payload, QByteArray(100, 'a') + QByteArray(924, '\0'));
    EXPECT_FALSE(plan.partial);
}

TEST(AdvertFile, HeaderAndTheLimit) {
    QImage frame(256, 32, QImage::Format_RGB888);
    frame.fill(Qt::black);
    const std::optional<QByteArray> file =
        BuildAdvertFile(frame, ColourKind::Single, FrameEffect{1, 8, 0}, 256);
    ASSERT_TRUE(file);
    ASSERT_EQ(file->size(), 14 + 1024);
    EXPECT_EQ(file->left(14), QByteArray::fromHex("000000000000000001080000010A"));
    // At most 40946 data bytes (40960 in all).
    QImage exact(10237, 32, QImage::Format_RGB888); // 10237 × 32 / 8 = 40948 > 40946
    exact.fill(Qt::black);
    EXPECT_FALSE(BuildAdvertFile(exact, ColourKind::Single, {}, 256));
    QImage fits(10236, 32, QImage::Format_RGB888); // 40944 bytes
    fits.fill(Qt::black);
    EXPECT_TRUE(BuildAdvertFile(fits, ColourKind::Single, {}, 256));
}

class OfflineSendTest : public ::testing::Test {
protected:
    void Start(const std::vector<SimCardSpec>& cards, const std::vector<SimCardSpec>& listed) {
        m_rig = std::make_unique<LoopbackRig>(cards);
        ASSERT_TRUE(m_rig->ok()) << m_rig->error().toStdString();
        m_rig->link().DeactivateAll();
        m_worker = std::make_unique<TLedThread>(m_rig->link());
        for (ScreenId screen : kAllScreens) {
            settings.ActiveSettings.screen(screen).ScreenKind = screen == ScreenId::h;
        }
        settings.cards(ScreenId::h) = CardListOf(listed);
        settings.Ad.play = true;
        m_sender = std::make_unique<OfflineSender>(m_rig->link(), *m_worker, settings, op,
                                                   StationPaths(home.path()));
        m_sender->SetLog(&log);
    }
    void WriteSubtitles(const QByteArray& bytes) {
        ASSERT_TRUE(QDir().mkpath(home.file(QStringLiteral("data"))));
        home.write(QStringLiteral("data/zim_h.bin"), bytes);
    }
    QByteArray Flash(const MacAddress& mac, std::uint32_t at, qsizetype size) {
        const std::vector<std::uint8_t> flash = m_rig->bank().Flash(mac);
        if (flash.size() < at + static_cast<std::size_t>(size)) {
            return {};
        }
        return QByteArray(reinterpret_cast<const char*>(flash.data()) + at, size);
    }
    CardBank& bank() { return m_rig->bank(); }

    TempDir home;
    SettingsStore settings;
    ScriptedOperator op;
    RecordingLog log;
    std::unique_ptr<LoopbackRig> m_rig;
    std::unique_ptr<TLedThread> m_worker;
    std::unique_ptr<OfflineSender> m_sender;
};

TEST_F(OfflineSendTest, AFileOf5000Bytes) {
    const SimCardSpec card = TestCard(1);
    Start({card}, {card});
    const QByteArray file = RandomBytes(5000, 5);
    WriteSubtitles(file);
    m_sender->SendSubtitleFile(ScreenId::h);
    EXPECT_EQ(log.lines,
              (QStringList{QStringLiteral("发送横屏字幕:") + MacText(card.mac),
                           QStringLiteral("总包数4已发送4"), QStringLiteral("所有横屏发送完毕")}));
    EXPECT_EQ(log.progressSent, 4);
    EXPECT_EQ(log.progressTotal, 4);
    EXPECT_EQ(Flash(card.mac, 0xB000, 5000), file);
    const CardState state = *bank().Card(card.mac);
    EXPECT_EQ(state.mode, CardMode::Offline);
    EXPECT_TRUE(state.startOfflineOnDisconnect);
    // Five blocks, a retried one (same datagram after a late reply) counted once.
    EXPECT_EQ(CardActions(bank(), card.mac, true).count(QStringLiteral("WriteFlash")), 5);
    EXPECT_FALSE(m_worker->cardOnline().get(ScreenId::h, 0));
    EXPECT_TRUE(op.events.empty());
}

TEST_F(OfflineSendTest, TheLargestFileIsSentAndOneByteMoreIsRefused) {
    const SimCardSpec card = TestCard(1);
    Start({card}, {card});
    const QByteArray largest = RandomBytes(8343552, 6);
    WriteSubtitles(largest);
    m_sender->SendSubtitleFile(ScreenId::h);
    // 8148 round trips: a machine loaded enough to starve the card's thread
    // for the half second a block may take times one out, and the operator
    // sends again. Twice in a row would be a fault of ours.
    if (log.lines.join(u'\n').contains(QStringLiteral("->通讯超时"))) {
        log.lines.clear();
        m_sender->SendSubtitleFile(ScreenId::h);
    }
    EXPECT_EQ(log.lines.at(1), QStringLiteral("总包数8148已发送8148"));
    EXPECT_EQ(Flash(card.mac, 0xB000, largest.size()), largest);
    const long long taken = bank().Card(card.mac)->flashBlocks;
    EXPECT_GE(taken, 8148); // more only when a late reply made a block go twice

    log.lines.clear();
    WriteSubtitles(largest + "x");
    m_sender->SendSubtitleFile(ScreenId::h);
    EXPECT_EQ(log.lines, QStringList{QStringLiteral("横屏数据过大，请减小一些文字后重试！")});
    EXPECT_EQ(bank().Card(card.mac)->flashBlocks, taken);
}

TEST_F(OfflineSendTest, TheSecondOfThreeCardsNeverAnswers) {
    const SimCardSpec first = TestCard(1);
    const SimCardSpec silent = TestCard(2); // listed, not there
    const SimCardSpec third = TestCard(3);
    Start({first, third}, {first, silent, third});
    const QByteArray file = RandomBytes(3000, 7);
    WriteSubtitles(file);
    m_sender->SendSubtitleFile(ScreenId::h);
    EXPECT_EQ(log.lines,
              (QStringList{QStringLiteral("发送横屏字幕:") + MacText(first.mac),
                           QStringLiteral("总包数2已发送2"),
                           QStringLiteral("发送横屏字幕:") + MacText(silent.mac),
                           MacText(silent.mac) + QStringLiteral("->连接超时！"),
                           QStringLiteral("发送横屏字幕:") + MacText(third.mac),
                           QStringLiteral("总包数2已发送2"), QStringLiteral("所有横屏发送完毕")}));
    EXPECT_EQ(Flash(first.mac, 0xB000, file.size()), file);
    EXPECT_EQ(Flash(third.mac, 0xB000, file.size()), file);
    EXPECT_EQ(m_sender->cardsDone(), 2);
}

TEST_F(OfflineSendTest, ACardThatRefusesOfflineModeGetsNothing) {
    SimCardSpec card = TestCard(1);
    card.faults.ignoreModeSwitch = true;
    Start({card}, {card});
    WriteSubtitles(RandomBytes(3000, 8));
    m_sender->SendSubtitleFile(ScreenId::h);
    EXPECT_EQ(log.lines, (QStringList{QStringLiteral("发送横屏字幕:") + MacText(card.mac),
                                      MacText(card.mac) + QStringLiteral("->切换脱机模式失败！"),
                                      QStringLiteral("所有横屏发送完毕")}));
    EXPECT_EQ(bank().Card(card.mac)->flashBlocks, 0);
    EXPECT_FALSE(m_worker->cardOnline().get(ScreenId::h, 0));
}

TEST_F(OfflineSendTest, LostRepliesStillLeaveTheFileWhole) {
    SimCardSpec card = TestCard(1);
    card.faults.dropPercent = 10;
    Start({card}, {card});
    const QByteArray file = RandomBytes(200 * 1024 + 77, 9);
    WriteSubtitles(file);
    m_sender->SendSubtitleFile(ScreenId::h);
    EXPECT_EQ(Flash(card.mac, 0xB000, file.size()), file);
    EXPECT_EQ(m_sender->cardsDone(), 1);
}

TEST_F(OfflineSendTest, AFailedBlockEndsTheCardsTransferWithoutPlayingIt) {
    SimCardSpec card = TestCard(1);
    card.faults.stopAfterFlash = 3;
    Start({card}, {card});
    WriteSubtitles(RandomBytes(10 * 1024 + 500, 10));
    m_sender->SendSubtitleFile(ScreenId::h);
    ASSERT_EQ(log.lines.size(), 4);
    EXPECT_EQ(log.lines[0], QStringLiteral("发送横屏字幕:") + MacText(card.mac));
    // Block 4 fails (block 3 if a late reply made an earlier block go twice).
    EXPECT_TRUE(log.lines[1] == QStringLiteral("总包数10已发送4") ||
                log.lines[1] == QStringLiteral("总包数10已发送3"))
        << log.lines[1].toStdString();
    EXPECT_EQ(log.lines[2], MacText(card.mac) + QStringLiteral("->通讯超时"));
    EXPECT_EQ(log.lines[3], QStringLiteral("所有横屏发送完毕"));
    const CardState state = *bank().Card(card.mac);
    // Nothing after the failed block: no partial block at a wrong address, no
    // disconnect telling the card to play what it holds.
    EXPECT_EQ(state.flashBlocks, 3);
    EXPECT_EQ(state.disconnects, 0);
    EXPECT_TRUE(Flash(card.mac, 0xB000 + 10 * 1024, 500).isEmpty());
    EXPECT_EQ(m_sender->cardsDone(), 0);
}

TEST_F(OfflineSendTest, CancelStopsAfterTheBlockInFlight) {
    SimCardSpec first = TestCard(1);
    first.faults.delayMs = 2; // slow enough for the window to see the progress
    const SimCardSpec second = TestCard(2);
    Start({first, second}, {first, second});
    WriteSubtitles(RandomBytes(300 * 1024, 11));
    log.onProgress = [this](int sent) {
        if (sent >= 20) {
            m_sender->Cancel();
        }
    };
    m_sender->SendSubtitleFile(ScreenId::h);
    const CardState state = *bank().Card(first.mac);
    EXPECT_LT(state.flashBlocks, 300);
    EXPECT_GE(state.flashBlocks, 20);
    EXPECT_EQ(state.disconnects, 1);
    EXPECT_FALSE(state.startOfflineOnDisconnect);
    EXPECT_TRUE(log.lines.contains(MacText(first.mac) + QStringLiteral("->已停止发送")));
    // The next card is not started.
    EXPECT_EQ(bank().Card(second.mac)->flashBlocks, 0);
}

TEST_F(OfflineSendTest, AStopDuringTheLastCardIsNotReportedAsSentToAll) {
    SimCardSpec card = TestCard(1);
    card.faults.delayMs = 2;
    Start({card}, {card});
    WriteSubtitles(RandomBytes(100 * 1024, 12));
    log.onProgress = [this](int sent) {
        if (sent >= 10) {
            m_sender->Cancel();
        }
    };
    m_sender->SendSubtitleFile(ScreenId::h);
    EXPECT_TRUE(log.lines.contains(MacText(card.mac) + QStringLiteral("->已停止发送")));
    EXPECT_FALSE(log.lines.contains(QStringLiteral("所有横屏发送完毕")))
        << log.lines.join(u'\n').toStdString();
}

// Stands for the playlist while the files are generated; the operator
// presses 停止 in the middle.
class StoppingReplay final : public OfflineReplay {
public:
    explicit StoppingReplay(std::function<void()> stop) : m_stop(std::move(stop)) {}
    int EntryCount() const override { return 1; }
    QString EntryName(int) const override { return QStringLiteral("剧本"); }
    void SelectEntry(int) override {}
    int RowCount() const override { return 3; }
    void SelectRow(int row) override {
        if (row == 1) {
            m_stop();
        }
    }
    void RenderTitle(ScreenId, const QString&) override {}

private:
    std::function<void()> m_stop;
};

TEST_F(OfflineSendTest, AStopWhileTheFilesAreGeneratedSendsNothing) {
    const SimCardSpec card = TestCard(1);
    Start({card}, {card});
    StoppingReplay replay([this] { m_sender->Cancel(); });
    OfflineCommands commands(*m_worker, settings, op, StationPaths(home.path()), replay, *m_sender,
                             [] {
                                 return std::array<bool, 3>{true, true, true};
                             });
    commands.SendOverNetwork(NetworkOptions{}, log);
    const CardState state = *bank().Card(card.mac);
    EXPECT_EQ(state.flashBlocks, 0);
    EXPECT_FALSE(state.connected);
    EXPECT_EQ(state.mode, CardMode::Unknown);
    EXPECT_TRUE(log.lines.contains(QStringLiteral("发送已停止：未向任何控制卡发送")))
        << log.lines.join(u'\n').toStdString();
    EXPECT_FALSE(log.lines.contains(QStringLiteral("所有横屏发送完毕")));

    // The next command starts afresh.
    StoppingReplay quiet([] {});
    OfflineCommands again(*m_worker, settings, op, StationPaths(home.path()), quiet, *m_sender, [] {
        return std::array<bool, 3>{false, false, false};
    });
    again.SendOverNetwork(NetworkOptions{false, true}, log);
    EXPECT_GT(bank().Card(card.mac)->flashBlocks, 0);
    EXPECT_TRUE(log.lines.contains(QStringLiteral("所有横屏发送完毕")));
}

TEST_F(OfflineSendTest, MissingFileAndScreensNotInUse) {
    const SimCardSpec card = TestCard(1);
    Start({card}, {card});
    m_sender->SendSubtitleFile(ScreenId::h);
    EXPECT_EQ(op.texts(QStringLiteral("inform")),
              QStringList{QStringLiteral("打开文件失败！请重启软件！")});
    m_sender->SendSubtitleFile(ScreenId::s);
    m_sender->SendAdvertisement(ScreenId::x, true);
    EXPECT_TRUE(log.lines.isEmpty());
    EXPECT_EQ(bank().DatagramsHandled(), 0);
}

TEST_F(OfflineSendTest, TheAdvertisementIsFiledAndWrittenAt0x1000) {
    const SimCardSpec card = TestCard(1);
    Start({card}, {card});
    settings.ActiveSettings.screen(ScreenId::h).ScreenStyle = 1;
    settings.Ad.tej = 1;
    settings.Ad.sud = 8;
    settings.Ad.tingl = 2;
    QImage frame = NoisePicture(400, 32, 4).convertToFormat(QImage::Format_RGB888);
    m_worker->LoadScreenBitmap(ScreenId::h, frame, {});
    m_sender->SendAdvertisement(ScreenId::h, true);
    const QByteArray file = TempDir::read(home.file(QStringLiteral("data/gg_h.bin")));
    ASSERT_EQ(file.size(), 14 + 2 * 400 * 32 / 8);
    EXPECT_EQ(file.mid(8, 5), QByteArray::fromHex("0108029001"));
    EXPECT_EQ(Flash(card.mac, 0x1000, file.size()), file);
    EXPECT_EQ(log.lines.first(), QStringLiteral("发送横屏广告:") + MacText(card.mac));
    // Not rendered (too long for the screen): neither filed nor sent again.
    const long long blocks = bank().Card(card.mac)->flashBlocks;
    m_sender->SendAdvertisement(ScreenId::h, false);
    EXPECT_EQ(bank().Card(card.mac)->flashBlocks, blocks);
}

} // namespace
