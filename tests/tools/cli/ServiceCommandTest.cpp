// The service technician's commands of subtitle-station-cli, run as a user
// would against simulated cards on 127.0.0.1 in this process.
#include "CliRunner.h"

#include "CardBank.h"
#include "LoopbackRig.h"

#include "core/Paths.h"
#include "core/Settings.h"
#include "link/LinkConfig.h"
#include "link/MacAddress.h"
#include "offline/ParamBlock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class ServiceCommand : public ::testing::Test {
protected:
    void SetUp() override {
        hCard = TestCard(1, ScreenId::h);
        hCard.name = QStringLiteral("主屏");
        hCard.modelCode = 5;
        hCard.params = MakeCardParams(640, 64, 4, 2, 1, 1);
        sCard = TestCard(2, ScreenId::s);
        sCard.params = MakeCardParams(512, 48, 1, 0);
        LoopbackCards cards = StartLoopbackCards({hCard, sCard});
        ASSERT_TRUE(cards.bank) << cards.error.toStdString();
        m_offset = cards.offset;
        m_bank = std::move(cards.bank);
    }
    QStringList Args(const char* command) const {
        return {QString::fromLatin1(command),
                QStringLiteral("--home"),
                home.path(),
                QStringLiteral("--link-local"),
                QStringLiteral("127.0.0.1"),
                QStringLiteral("--link-target"),
                QStringLiteral("127.0.0.1"),
                QStringLiteral("--link-port-offset"),
                QString::number(m_offset)};
    }

    TempDir home;
    SimCardSpec hCard;
    SimCardSpec sCard;
    int m_offset = 0;
    std::unique_ptr<CardBank> m_bank;
};

TEST_F(ServiceCommand, SearchListsTheCardsOfEachScreen) {
    const CliRun run = RunCli(Args("search"));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString hEntry =
        QStringLiteral("mac:") + MacText(hCard.mac) + QStringLiteral(" 主屏->S1卡");
    EXPECT_TRUE(run.out.contains(QStringLiteral("[h] 横屏: 1 card\n  ") + hEntry +
                                 QStringLiteral("\n    640 x 64, 三色, 4扫 8列上折1次, OE 低有效, "
                                                "data 正极性\n")))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("[s] 纵屏: 1 card")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("48 x 512, 单色, 8扫 直行")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("[x] 小屏: 0 cards")));
    // Listing writes nothing unless asked.
    EXPECT_FALSE(QFile::exists(home.file(QStringLiteral("Config.ini"))));

    const CliRun saved =
        RunCli(Args("search") + QStringList{QStringLiteral("--screen"), QStringLiteral("h"),
                                            QStringLiteral("--save")});
    EXPECT_EQ(saved.exitCode, 0) << saved.err.toStdString();
    EXPECT_FALSE(saved.out.contains(QStringLiteral("[s]")));
    SettingsStore store;
    LoadConfig(store, home.file(QStringLiteral("Config.ini")));
    ASSERT_EQ(store.cards(ScreenId::h).size(), 1u);
    EXPECT_EQ(store.cards(ScreenId::h)[0].id, hEntry);
    EXPECT_TRUE(store.cards(ScreenId::s).empty());
}

TEST_F(ServiceCommand, ReadbackWritesTheScreensOfTheCardsIntoConfig) {
    const CliRun run = RunCli(Args("readback"));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(
        QStringLiteral("发现1个横屏\n\u3000\u30001个纵屏\n\u3000\u30000个小屏\n并回读屏幕参数\n")))
        << run.out.toStdString();
    SettingsStore store;
    LoadConfig(store, home.file(QStringLiteral("Config.ini")));
    const TScreenParams& h = store.StoredSettings.screen(ScreenId::h);
    EXPECT_TRUE(h.ScreenKind);
    EXPECT_EQ(h.ScreenWidth, 640);
    EXPECT_EQ(h.ScreenHeight, 64);
    EXPECT_EQ(h.ScanStyle, 4);
    EXPECT_EQ(h.ScreenStyle, 2);
    const TScreenParams& s = store.StoredSettings.screen(ScreenId::s);
    EXPECT_TRUE(s.ScreenKind);
    EXPECT_EQ(s.ScreenWidth, 48);
    EXPECT_EQ(s.ScreenHeight, 512);
    EXPECT_FALSE(store.StoredSettings.screen(ScreenId::x).ScreenKind);
    EXPECT_EQ(store.cards(ScreenId::s).size(), 1u);
}

TEST_F(ServiceCommand, ParamsWritesTheFilesThatShowParamsReads) {
    const CliRun readback = RunCli(Args("readback"));
    ASSERT_EQ(readback.exitCode, 0);
    const CliRun run = RunCli({QStringLiteral("params"), QStringLiteral("--home"), home.path(),
                               QStringLiteral("--screen"), QStringLiteral("s")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("纵屏参数文件生成成功！")));
    const QString file = StationPaths(home.path()).dataFile(QStringLiteral("cs_s.bin"));
    const QByteArray bytes = TempDir::read(file);
    ASSERT_EQ(bytes.size(), 512);
    // The card's own block comes back: the vertical screen turned again.
    const CardParams expected = MakeCardParams(512, 48, 1, 0, 0, 0);
    EXPECT_EQ(bytes.left(8), QByteArray(reinterpret_cast<const char*>(expected.data()), 8));
    EXPECT_FALSE(QFile::exists(StationPaths(home.path()).dataFile(QStringLiteral("cs_h.bin"))));

    const CliRun shown = RunCli({QStringLiteral("show-params"), file});
    EXPECT_EQ(shown.exitCode, 0);
    for (const char* line : {"card width: 512 px (64 bytes per row)", "card height: 48 px",
                             "scan code: 0x08 8扫  直行", "card type: 1 (单色)",
                             "screen name: 舞台屏", "trailer: 55 AA 55 AA"}) {
        EXPECT_TRUE(shown.out.contains(QString::fromUtf8(line))) << line << shown.out.toStdString();
    }

    // Anything but a 512-byte file is refused.
    const QString shorter = home.write(QStringLiteral("short.bin"), QByteArray(100, '\0'));
    const CliRun refused = RunCli({QStringLiteral("show-params"), shorter});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("exactly 512 bytes")));
}

TEST_F(ServiceCommand, NothingFoundAndBadArguments) {
    m_bank.reset();
    const CliRun none = RunCli(Args("search"));
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.out.contains(QStringLiteral("[h] 横屏: 0 cards")));

    for (const QStringList& bad :
         {QStringList{QStringLiteral("search")},
          QStringList{QStringLiteral("readback"), QStringLiteral("--home"),
                      home.file(QStringLiteral("missing"))},
          QStringList{QStringLiteral("params"), QStringLiteral("--home"), home.path(),
                      QStringLiteral("--screen"), QStringLiteral("q")},
          QStringList{QStringLiteral("show-params")}}) {
        const CliRun run = RunCli(bad);
        EXPECT_EQ(run.exitCode, 2) << bad.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Usage:")));
    }
    // A home without Config.ini has chosen no network: nothing is sent
    // anywhere until the link options or the station's first start say where.
    const TempDir empty;
    const CliRun unchosen =
        RunCli({QStringLiteral("search"), QStringLiteral("--home"), empty.path()});
    EXPECT_EQ(unchosen.exitCode, 2);
    EXPECT_TRUE(unchosen.err.contains(QStringLiteral("No link chosen")))
        << unchosen.err.toStdString();
}

} // namespace
