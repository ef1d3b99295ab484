// Runs `subtitle-station-cli send` as a user would, against a bank of
// simulated cards on 127.0.0.1 in this process, and compares what the cards
// show with the frames the station renders for the same Config.ini.
#include "CliRunner.h"
#include "DdpReceiver.h"

#include "CardBank.h"
#include "LoopbackRig.h"
#include "link/LiveTestSupport.h"

#include "core/Paths.h"
#include "core/Settings.h"
#include "core/TextFiles.h"
#include "link/FrameEncoding.h"
#include "link/LinkConfig.h"
#include "link/MacAddress.h"
#include "render/LastFrameSink.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"
#include "support/TempDir.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Horizontal 256 x 32 dual colour and vertical 32 x 256 dual colour in use,
// the small screen listed but not in use.
class SendCommand : public ::testing::Test {
protected:
    void SetUp() override {
        hCard = TestCard(1, ScreenId::h);
        hCard.params = MakeCardParams(256, 32, 0, 1);
        sCard = TestCard(2, ScreenId::s);
        sCard.params = MakeCardParams(256, 32, 0, 1);
        xCard = TestCard(3, ScreenId::x);
        LoopbackCards cards = StartLoopbackCards({hCard, sCard, xCard});
        ASSERT_TRUE(cards.bank) << cards.error.toStdString();
        m_offset = cards.offset;
        m_bank = std::move(cards.bank);
    }

    void WriteConfig(const QStringList& hEntries, const QStringList& sEntries,
                     bool anyInUse = true) {
        QString text = QStringLiteral("[ScreenParam]\n");
        text += anyInUse ? QStringLiteral("ScreenKind1=1\nScreenKind2=1\n") : QString();
        text += QStringLiteral("ScreenKind3=0\nScreenStyle1=1\nScreenStyle2=1\nFlash2=2\n");
        const auto list = [&text](const char* prefix, const QStringList& entries) {
            const QString key = QString::fromLatin1(prefix);
            text += key + QStringLiteral("_count=%1\n").arg(entries.size());
            for (qsizetype i = 0; i < entries.size(); ++i) {
                text +=
                    key + QString::number(i) + QLatin1Char('=') + entries[i] + QLatin1Char('\n');
            }
        };
        list("mac_h", hEntries);
        list("mac_s", sEntries);
        list("mac_x", {EntryFor(xCard.mac)});
        text += QStringLiteral("[FontEffect]\nAutoSize1=1\nAutoSize2=1\nColor1=3\nColor2=2\n"
                               "Row1=2\n");
        text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        home.write(QStringLiteral("Config.ini"), EncodeGbk(text));
    }
    QStringList LinkArgs() const {
        return {QStringLiteral("--link-local"),       QStringLiteral("127.0.0.1"),
                QStringLiteral("--link-target"),      QStringLiteral("127.0.0.1"),
                QStringLiteral("--link-port-offset"), QString::number(m_offset)};
    }
    QStringList SendArgs(const QStringList& what) const {
        return QStringList{QStringLiteral("send"), QStringLiteral("--home"), home.path()} +
               LinkArgs() + what;
    }
    // The frame the station sends to a screen for these rows.
    QImage Expected(ScreenId screen, const QString& row1, const QString& row2) const {
        SettingsStore store;
        LoadAndApplyConfig(store, StationPaths(home.path()).configFile());
        QtRasteriser rasteriser;
        TextRenderer renderer(store.ActiveSettings, rasteriser);
        LastFrameSink sink;
        renderer.SetFrameSink(&sink);
        EXPECT_FALSE(renderer.RenderSubtitle(screen, row1, row2).failed());
        return Thresholded(sink.frame(), ColourKind::Dual);
    }

    TempDir home;
    SimCardSpec hCard;
    SimCardSpec sCard;
    SimCardSpec xCard;
    int m_offset = 0;
    std::unique_ptr<CardBank> m_bank;
};

} // namespace

TEST_F(SendCommand, ALineReachesTheCardsOfTheScreensInUse) {
    WriteConfig({EntryFor(hCard.mac)}, {EntryFor(sCard.mac)});
    const CliRun run = RunCli(SendArgs({QStringLiteral("--line"), QStringLiteral("今晚演出")}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString() << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("screen h: shown by 1 of 1 cards")))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("screen s: shown by 1 of 1 cards")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("【字幕】 ")));

    const QImage h = Expected(ScreenId::h, QStringLiteral("今晚演出"), {});
    EXPECT_EQ(m_bank->Displayed(hCard.mac), h);
    EXPECT_EQ(m_bank->Displayed(sCard.mac), Expected(ScreenId::s, QStringLiteral("今晚演出"), {}));
    QImage black(256, 32, QImage::Format_RGB888);
    black.fill(Qt::black);
    EXPECT_NE(h, black);
    for (const SimCardSpec& card : {hCard, sCard}) {
        const CardState state = *m_bank->Card(card.mac);
        EXPECT_EQ(state.swaps, 1);
        EXPECT_EQ(state.disconnects, 1);
        EXPECT_FALSE(state.connected);
    }
    // Listed, but its screen is not in use.
    EXPECT_EQ(m_bank->Card(xCard.mac)->disconnects, 0);
    EXPECT_FALSE(m_bank->Card(xCard.mac)->connected);
}

TEST_F(SendCommand, EveryScreenGetsItsLineBeforeAnyScreenIsWaitedFor) {
    // The horizontal card answers late, so its transfer takes far longer than
    // rendering the other screen: a CLI that waited for one screen before
    // rendering the next would swap the horizontal screen before the vertical
    // one saw a byte of the line.
    CardFaults late;
    late.delayMs = 15;
    m_bank->SetFaults(hCard.mac, late);
    WriteConfig({EntryFor(hCard.mac)}, {EntryFor(sCard.mac)});
    const CliRun run = RunCli(SendArgs({QStringLiteral("--line"), QStringLiteral("同时")}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString() << run.out.toStdString();

    const QStringList log = m_bank->Log();
    const qsizetype firstSwap = log.indexOf(QRegularExpression(QStringLiteral(".* SwapBuffer .*")));
    const qsizetype firstVerticalWrite =
        log.indexOf(QRegularExpression(QStringLiteral("^\\[s\\] .* WriteData .*")));
    ASSERT_GE(firstSwap, 0);
    ASSERT_GE(firstVerticalWrite, 0);
    EXPECT_LT(firstVerticalWrite, firstSwap) << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(m_bank->Displayed(sCard.mac), Expected(ScreenId::s, QStringLiteral("同时"), {}));
    EXPECT_EQ(m_bank->Displayed(hCard.mac), Expected(ScreenId::h, QStringLiteral("同时"), {}));
}

TEST_F(SendCommand, TheLinesOfAFileAdvanceOnePerEnter) {
    WriteConfig({EntryFor(hCard.mac)}, {});
    const QStringList lines{QStringLiteral("第一句"), QStringLiteral("第二句"),
                            QStringLiteral("第三句")};
    const QString file = home.write(QStringLiteral("script.txt"), JoinLinesGbk(lines));

    QProcess process;
    process.setProcessEnvironment(CliEnvironment());
    process.start(QStringLiteral(SUBTITLE_STATION_CLI), SendArgs({QStringLiteral("--file"), file}));
    ASSERT_TRUE(process.waitForStarted(10000));
    QString out;
    const auto waitFor = [&](const QString& text) {
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (!out.contains(text) && std::chrono::steady_clock::now() < end) {
            process.waitForReadyRead(100);
            out += QString::fromUtf8(process.readAllStandardOutput());
        }
        return out.contains(text);
    };
    for (int line = 1; line <= 3; ++line) {
        if (line > 1) {
            // Nothing moves on without the Enter key.
            std::this_thread::sleep_for(150ms);
            EXPECT_EQ(m_bank->Card(hCard.mac)->swaps, line - 1);
            process.write("\n");
        }
        ASSERT_TRUE(waitFor(QStringLiteral("line %1 of 3").arg(line))) << out.toStdString();
        ASSERT_TRUE(waitFor(QStringLiteral("shown by"))) << out.toStdString();
        out = out.mid(out.lastIndexOf(QStringLiteral("shown by")) + 1);
        EXPECT_EQ(m_bank->Card(hCard.mac)->swaps, line);
        // A double-row screen: the next line is row 2.
        const QString row2 = line < 3 ? lines[line] : QString();
        EXPECT_EQ(m_bank->Displayed(hCard.mac), Expected(ScreenId::h, lines[line - 1], row2))
            << line;
    }
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(m_bank->Card(hCard.mac)->disconnects, 1);
}

TEST_F(SendCommand, TheEndOfStandardInputStopsEarly) {
    WriteConfig({EntryFor(hCard.mac)}, {});
    const QString file = home.write(QStringLiteral("script.txt"),
                                    JoinLinesGbk({QStringLiteral("一"), QStringLiteral("二")}));
    const CliRun run = RunCli(SendArgs({QStringLiteral("--file"), file}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.contains(QStringLiteral("Standard input ended"))) << run.out.toStdString();
    EXPECT_EQ(m_bank->Card(hCard.mac)->swaps, 1);
    EXPECT_EQ(m_bank->Card(hCard.mac)->disconnects, 1);
}

TEST_F(SendCommand, AnUnreachableCardIsReportedAndTheOthersStillShowTheLine) {
    const MacAddress absent{0x02, 0, 0, 0, 0x0F, 0x0F};
    WriteConfig({EntryFor(absent), EntryFor(hCard.mac)}, {});
    const CliRun run = RunCli(SendArgs({QStringLiteral("--line"), QStringLiteral("演出")}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("02-00-00-00-0F-0F->连接超时！")))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("横屏02-00-00-00-0F-0F建立连接超时")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("screen h: shown by 1 of 2 cards")))
        << run.out.toStdString();
    EXPECT_EQ(m_bank->Card(hCard.mac)->swaps, 1);
}

TEST_F(SendCommand, NothingToSendToIsAFailure) {
    WriteConfig({}, {});
    CliRun run = RunCli(SendArgs({QStringLiteral("--line"), QStringLiteral("演出")}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("card lists"))) << run.err.toStdString();
    WriteConfig({EntryFor(hCard.mac)}, {}, false);
    run = RunCli(SendArgs({QStringLiteral("--line"), QStringLiteral("演出")}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("No screen is in use"))) << run.err.toStdString();
    EXPECT_EQ(m_bank->DatagramsHandled(), 0);
}

TEST_F(SendCommand, BadArgumentsGiveTheUsageAndExitCode2) {
    WriteConfig({EntryFor(hCard.mac)}, {});
    const QString dir = home.path();
    const QString line = QStringLiteral("--line");
    const QString text = QStringLiteral("演出");
    const std::vector<QStringList> cases = {
        {QStringLiteral("send")},
        {QStringLiteral("send"), line, text},
        {QStringLiteral("send"), QStringLiteral("--home"), dir},
        {QStringLiteral("send"), QStringLiteral("--home"), dir, line, text,
         QStringLiteral("--file"), home.file(QStringLiteral("Config.ini"))},
        {QStringLiteral("send"), QStringLiteral("--home"), dir, QStringLiteral("--file"),
         home.file(QStringLiteral("missing.txt"))},
        {QStringLiteral("send"), QStringLiteral("--home"), dir + QStringLiteral("/missing"), line,
         text},
        {QStringLiteral("send"), QStringLiteral("--home"), dir, line, text,
         QStringLiteral("--link-port-offset"), QStringLiteral("abc")},
        {QStringLiteral("send"), QStringLiteral("--home"), dir, line, text,
         QStringLiteral("--link-target"), QStringLiteral("999.1.1.1")},
        {QStringLiteral("send"), QStringLiteral("--home"), dir, line, text,
         QStringLiteral("--colour")},
        {QStringLiteral("send"), QStringLiteral("--home"), dir, line, text,
         QStringLiteral("extra")},
        {QStringLiteral("send"), QStringLiteral("--home"), dir, line, text, QStringLiteral("--ddp"),
         QStringLiteral("q=127.0.0.1")},
        {QStringLiteral("send"), QStringLiteral("--home"), dir, line, text, QStringLiteral("--ddp"),
         QStringLiteral("h=wall")},
    };
    for (const QStringList& args : cases) {
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Usage:")))
            << args.join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_EQ(m_bank->DatagramsHandled(), 0);
    const CliRun help = RunCli({QStringLiteral("send"), QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--link-port-offset")));
    EXPECT_TRUE(RunCli({QStringLiteral("--help")}).out.contains(QStringLiteral("send")));
}

// The still line as the audience sees it on a screen (upright), for these rows.
static QImage Upright(const QString& configFile, ScreenId screen, const QString& row1) {
    SettingsStore store;
    LoadAndApplyConfig(store, configFile);
    QtRasteriser rasteriser;
    TextRenderer renderer(store.ActiveSettings, rasteriser);
    EXPECT_FALSE(renderer.RenderSubtitle(screen, row1, {}).failed());
    return renderer.previewImage(screen).convertToFormat(QImage::Format_RGB888);
}

TEST_F(SendCommand, DdpReceiversAloneShowTheLineWithoutCards) {
    WriteConfig({}, {});
    TestDdpReceiver wallH;
    TestDdpReceiver wallS;
    ASSERT_TRUE(wallH.ok() && wallS.ok());
    const CliRun run = RunCli(
        SendArgs({QStringLiteral("--ddp"), QStringLiteral("h=127.0.0.1:%1").arg(wallH.port()),
                  QStringLiteral("--ddp=s=127.0.0.1:%1").arg(wallS.port()),
                  QStringLiteral("--line"), QStringLiteral("墙上")}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString() << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("screen h: sent to 1 DDP receiver(s)")))
        << run.out.toStdString();
    ASSERT_TRUE(wallH.WaitFrames(1, 10s));
    ASSERT_TRUE(wallS.WaitFrames(1, 10s));
    const QString config = StationPaths(home.path()).configFile();
    // A datagram lost on a loaded machine would show as a hole; these frames
    // are a few datagrams each, so the first one is whole.
    EXPECT_EQ(TestDdpReceiver::Picture(wallH.Frames().front(), 256, 32),
              Upright(config, ScreenId::h, QStringLiteral("墙上")));
    EXPECT_EQ(TestDdpReceiver::Picture(wallS.Frames().front(), 32, 256),
              Upright(config, ScreenId::s, QStringLiteral("墙上")));
    EXPECT_EQ(m_bank->DatagramsHandled(), 0);
}

TEST_F(SendCommand, CardsAndDdpReceiversShowTheSameLine) {
    WriteConfig({EntryFor(hCard.mac)}, {});
    TestDdpReceiver wall;
    ASSERT_TRUE(wall.ok());
    const CliRun run =
        RunCli(SendArgs({QStringLiteral("--ddp"), QStringLiteral("h=127.0.0.1:%1").arg(wall.port()),
                         QStringLiteral("--line"), QStringLiteral("两边")}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString() << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("screen h: shown by 1 of 1 cards")));
    ASSERT_TRUE(wall.WaitFrames(1, 10s));
    EXPECT_EQ(m_bank->Card(hCard.mac)->swaps, 1);
    EXPECT_EQ(TestDdpReceiver::Picture(wall.Frames().front(), 256, 32),
              Upright(StationPaths(home.path()).configFile(), ScreenId::h, QStringLiteral("两边")));
}
