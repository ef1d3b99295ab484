// offline and send-offline of subtitle-station-cli, run as a venue's script
// would, against simulated cards on 127.0.0.1 in this process.
#include "CliRunner.h"

#include "CardBank.h"
#include "LoopbackRig.h"

#include "core/Paths.h"
#include "core/Settings.h"
#include "core/TextFiles.h"
#include "link/LinkConfig.h"
#include "link/MacAddress.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

QString Entry(const SimCardSpec& card) {
    return QStringLiteral("mac:") + MacText(card.mac) + QStringLiteral(" 舞台屏->Q1卡");
}

class OfflineCommand : public ::testing::Test {
protected:
    void SetUp() override {
        hCard = TestCard(1, ScreenId::h);
        xCard = TestCard(2, ScreenId::x);
        xCard.params = MakeCardParams(192, 32, 0, 0);
        LoopbackCards cards = StartLoopbackCards({hCard, xCard});
        ASSERT_TRUE(cards.bank) << cards.error.toStdString();
        m_offset = cards.offset;
        m_bank = std::move(cards.bank);

        const QString script =
            home.write(QStringLiteral("一幕.txt"),
                       JoinLinesGbk({QStringLiteral("第一句"), QStringLiteral("第二句"),
                                     QStringLiteral("第三句")}));
        playlist = home.write(QStringLiteral("show.lft"), JoinLinesGbk({script}));
        SettingsStore store;
        store.StoredSettings.screen(ScreenId::h) = TScreenParams{true, 1, 256, 32, 1, 0, 0, 1, 0};
        store.StoredSettings.screen(ScreenId::s).ScreenKind = false;
        store.StoredSettings.screen(ScreenId::x) = TScreenParams{true, 1, 192, 32, 0, 0, 0, 1, 0};
        store.cards(ScreenId::h) = {{Entry(hCard), {}}};
        store.cards(ScreenId::x) = {{Entry(xCard), {}}};
        store.Ad.play = false;
        ASSERT_TRUE(SaveConfig(store, StationPaths(home.path()).configFile()));
    }
    QStringList Link() const {
        return {QStringLiteral("--link-local"),       QStringLiteral("127.0.0.1"),
                QStringLiteral("--link-target"),      QStringLiteral("127.0.0.1"),
                QStringLiteral("--link-port-offset"), QString::number(m_offset)};
    }
    QByteArray Flash(const SimCardSpec& card, std::uint32_t at, qsizetype size) {
        const std::vector<std::uint8_t> flash = m_bank->Flash(card.mac);
        if (flash.size() < at + static_cast<std::size_t>(size)) {
            return {};
        }
        return QByteArray(reinterpret_cast<const char*>(flash.data()) + at, size);
    }
    QByteArray Data(const char* name) {
        return TempDir::read(StationPaths(home.path()).dataFile(QString::fromLatin1(name)));
    }

    TempDir home;
    QString playlist;
    SimCardSpec hCard;
    SimCardSpec xCard;
    int m_offset = 0;
    std::unique_ptr<CardBank> m_bank;
};

TEST_F(OfflineCommand, GenerateThenSendIntoEveryCard) {
    const CliRun made = RunCli({QStringLiteral("offline"), QStringLiteral("--home"), home.path(),
                                QStringLiteral("--playlist"), playlist});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    EXPECT_TRUE(made.out.contains(QStringLiteral("全部数据处理完成")));
    // Title and three rows; two colours on h, one on x.
    EXPECT_EQ(Data("zim_h.bin").size(), 4096 + 4 * (14 + 2048));
    EXPECT_EQ(Data("zim_x.bin").size(), 4096 + 4 * (14 + 768));
    EXPECT_TRUE(Data("zim_s.bin").isNull());

    const CliRun sent =
        RunCli(QStringList{QStringLiteral("send-offline"), QStringLiteral("--home"), home.path()} +
               Link());
    ASSERT_EQ(sent.exitCode, 0) << sent.out.toStdString() << sent.err.toStdString();
    EXPECT_TRUE(sent.out.contains(QStringLiteral("4 of 4 transfers complete")));
    EXPECT_TRUE(sent.out.contains(QStringLiteral("所有小屏发送完毕")));
    EXPECT_EQ(Flash(hCard, 0xB000, Data("zim_h.bin").size()), Data("zim_h.bin"));
    EXPECT_EQ(Flash(xCard, 0xB000, Data("zim_x.bin").size()), Data("zim_x.bin"));
    EXPECT_EQ(Flash(hCard, 0x1000, Data("gg_h.bin").size()), Data("gg_h.bin"));
    EXPECT_FALSE(m_bank->Card(hCard.mac)->startOfflineOnDisconnect);
}

TEST_F(OfflineCommand, AnUnreachableCardFailsTheRun) {
    const CliRun made = RunCli({QStringLiteral("offline"), QStringLiteral("--home"), home.path(),
                                QStringLiteral("--playlist"), playlist});
    ASSERT_EQ(made.exitCode, 0);
    m_bank.reset();
    const CliRun sent = RunCli(QStringList{QStringLiteral("send-offline"), QStringLiteral("--home"),
                                           home.path(), QStringLiteral("--no-advert")} +
                               Link());
    EXPECT_EQ(sent.exitCode, 1);
    EXPECT_TRUE(sent.out.contains(MacText(hCard.mac) + QStringLiteral("->连接超时！")));
    EXPECT_TRUE(sent.out.contains(QStringLiteral("0 of 2 transfers complete")));
}

TEST_F(OfflineCommand, NoPlaylistAndBadArguments) {
    const CliRun none = RunCli({QStringLiteral("offline"), QStringLiteral("--home"), home.path()});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains(QStringLiteral("No playlist")));
    // Without --home the user's own places (none here) are used: no playlist.
    const CliRun noHome = RunCli({QStringLiteral("offline")});
    EXPECT_EQ(noHome.exitCode, 1);
    EXPECT_TRUE(noHome.err.contains(QStringLiteral("No playlist"))) << noHome.err.toStdString();
    for (const QStringList& bad :
         {QStringList{QStringLiteral("offline"), QStringLiteral("--home"), home.path(),
                      QStringLiteral("--playlist"), home.file(QStringLiteral("missing.lft"))},
          QStringList{QStringLiteral("send-offline"), QStringLiteral("--home"), home.path(),
                      QStringLiteral("--link-port-offset"), QStringLiteral("many")}}) {
        const CliRun run = RunCli(bad);
        EXPECT_EQ(run.exitCode, 2) << bad.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Usage:")));
    }
}

} // namespace
