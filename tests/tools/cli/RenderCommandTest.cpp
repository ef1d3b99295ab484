// Runs the built subtitle-station-cli as a user would.
#include "CliRunner.h"

#include "core/TextFiles.h"
#include "render/Bitmaps.h"
#include "support/Pictures.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

namespace {

void WriteConfig(const TempDir& dir, const QString& text) {
    QString crlf = text;
    crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    dir.write(QStringLiteral("Config.ini"), EncodeGbk(crlf));
}

const QString kThreeScreens =
    QStringLiteral("[ScreenParam]\n"
                   "ScreenKind1=1\nScreenKind2=1\nScreenKind3=1\n"
                   "Flash2=2\nScreenWidth3=128\nScreenHeight3=16\nScreenStyle3=1\n"
                   "[FontEffect]\n"
                   "AutoSize1=1\nAutoSize2=1\nAutoSize3=1\n"
                   "Color3=2\n");

class RenderCommand : public ::testing::Test {
protected:
    QStringList Args(const QString& screen, const QString& row1) const {
        return {QStringLiteral("render"),
                QStringLiteral("--home"),
                home.path(),
                QStringLiteral("--screen"),
                screen,
                QStringLiteral("--row1"),
                row1,
                QStringLiteral("--out"),
                picture,
                QStringLiteral("--card-frame"),
                card};
    }
    TempDir home;
    TempDir outDir;
    QString picture = outDir.file(QStringLiteral("picture.png"));
    QString card = outDir.file(QStringLiteral("card.png"));
};

} // namespace

TEST_F(RenderCommand, WritesEachScreensPictureAndCardFrame) {
    WriteConfig(home, kThreeScreens);
    struct Case {
        const char* screen;
        QSize picture;
        QSize card;
    };
    for (const Case& c : {Case{"h", {256, 32}, {256, 32}}, Case{"s", {32, 256}, {256, 32}},
                          Case{"x", {128, 16}, {128, 16}}}) {
        const CliRun run = RunCli(Args(QString::fromLatin1(c.screen), QStringLiteral("今晚演出")));
        ASSERT_EQ(run.exitCode, 0) << c.screen << run.err.toStdString();
        const QImage shown(picture);
        const QImage sent(card);
        EXPECT_EQ(shown.size(), c.picture) << c.screen;
        EXPECT_EQ(sent.size(), c.card) << c.screen;
        EXPECT_FALSE(LitBounds(shown).isNull()) << c.screen;
        const QImage shown888 = shown.convertToFormat(QImage::Format_RGB888);
        const QImage sent888 = sent.convertToFormat(QImage::Format_RGB888);
        if (QString::fromLatin1(c.screen) == QLatin1String("s")) {
            EXPECT_EQ(sent888, TurnAnticlockwise(shown888));
        } else {
            EXPECT_EQ(sent888, shown888) << c.screen;
        }
        EXPECT_TRUE(run.out.contains(QStringLiteral("screen ") + QLatin1String(c.screen)));
    }
    // Screen x is a dual-colour screen set to green in Config.ini.
    const QImage x(picture);
    const QRect lit = LitBounds(x);
    bool green = false;
    for (int px = lit.left(); px <= lit.right() && !green; ++px) {
        for (int py = lit.top(); py <= lit.bottom() && !green; ++py) {
            green = x.pixel(px, py) == kGreen;
        }
    }
    EXPECT_TRUE(green);
}

TEST_F(RenderCommand, AScreenNotInUseIsRenderedAnywayWithANote) {
    // No Config.ini: every screen is off and 256 x 32 (s: 32 x 256).
    const CliRun run = RunCli(Args(QStringLiteral("h"), QStringLiteral("舞台字幕")));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("not in use")));
    const QImage shown(picture);
    EXPECT_EQ(shown.size(), QSize(256, 32));
    EXPECT_FALSE(LitBounds(shown).isNull());
}

TEST_F(RenderCommand, ATooLongScrollingLineIsRefused) {
    WriteConfig(home, QStringLiteral("[ScreenParam]\nScreenKind1=1\n[FontEffect]\n"
                                     "AutoSize1=3\nSizeWidth1=12\nSizeHeight1=24\nEffect1=1\n"));
    const CliRun run = RunCli(Args(QStringLiteral("h"), QString(70, QChar(0x5B57)))); // 1680 px
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("此行字符过多，请减少一些重试！")))
        << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(picture));
    EXPECT_FALSE(QFileInfo::exists(card));

    // A line that fits scrolls in a frame as long as the line.
    const CliRun fits = RunCli(Args(QStringLiteral("h"), QString(30, QChar(0x5B57)))); // 720 px
    ASSERT_EQ(fits.exitCode, 0) << fits.err.toStdString();
    EXPECT_EQ(QImage(picture).size(), QSize(728, 32));
}

TEST_F(RenderCommand, DoubleRowScreensShowRowTwo) {
    WriteConfig(home, QStringLiteral("[ScreenParam]\nScreenKind1=1\n[FontEffect]\n"
                                     "AutoSize1=1\nRow1=2\n"));
    QStringList args = Args(QStringLiteral("h"), QString());
    args << QStringLiteral("--row2") << QStringLiteral("下一行");
    const CliRun run = RunCli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QRect lit = LitBounds(QImage(picture));
    EXPECT_GE(lit.top(), 17); // only the lower row
}

TEST_F(RenderCommand, ZoomEnlargesThePictureButNotTheCardFrame) {
    WriteConfig(home, kThreeScreens);
    QStringList args = Args(QStringLiteral("x"), QStringLiteral("演出"));
    args << QStringLiteral("--zoom") << QStringLiteral("3");
    ASSERT_EQ(RunCli(args).exitCode, 0);
    const QImage shown = QImage(picture).convertToFormat(QImage::Format_RGB888);
    const QImage sent = QImage(card).convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(shown.size(), QSize(384, 48));
    ASSERT_EQ(sent.size(), QSize(128, 16));
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 384; ++x) {
            ASSERT_EQ(shown.pixel(x, y), sent.pixel(x / 3, y / 3)) << x << "," << y;
        }
    }
}

TEST_F(RenderCommand, BadArgumentsGiveTheUsageAndExitCode2) {
    const QString dir = home.path();
    const QString out = picture;
    const std::vector<QStringList> cases = {
        {},
        {QStringLiteral("paint")},
        {QStringLiteral("render")},
        {QStringLiteral("render"), QStringLiteral("--home"), dir, QStringLiteral("--screen"),
         QStringLiteral("q"), QStringLiteral("--row1"), QStringLiteral("a"),
         QStringLiteral("--out"), out},
        {QStringLiteral("render"), QStringLiteral("--home"), dir, QStringLiteral("--screen"),
         QStringLiteral("h"), QStringLiteral("--row1"), QStringLiteral("a")},
        {QStringLiteral("render"), QStringLiteral("--home"), dir, QStringLiteral("--screen"),
         QStringLiteral("h"), QStringLiteral("--out"), out},
        {QStringLiteral("render"), QStringLiteral("--home"), dir, QStringLiteral("--screen"),
         QStringLiteral("h"), QStringLiteral("--row1"), QStringLiteral("a"),
         QStringLiteral("--out"), out, QStringLiteral("--colour"), QStringLiteral("red")},
        {QStringLiteral("render"), QStringLiteral("--home"), dir, QStringLiteral("--screen"),
         QStringLiteral("h"), QStringLiteral("--row1"), QStringLiteral("a"),
         QStringLiteral("--out"), out, QStringLiteral("extra")},
        {QStringLiteral("render"), QStringLiteral("--home"), dir, QStringLiteral("--screen"),
         QStringLiteral("h"), QStringLiteral("--row1"), QStringLiteral("a"),
         QStringLiteral("--out"), out, QStringLiteral("--zoom"), QStringLiteral("0")},
        {QStringLiteral("render"), QStringLiteral("--home"), dir + QStringLiteral("/missing"),
         QStringLiteral("--screen"), QStringLiteral("h"), QStringLiteral("--row1"),
         QStringLiteral("a"), QStringLiteral("--out"), out},
        {QStringLiteral("render"), QStringLiteral("--home")},
    };
    for (const QStringList& args : cases) {
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Usage:")))
            << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(QFileInfo::exists(out));
    }
}

TEST_F(RenderCommand, HelpIsNotAnError) {
    const CliRun top = RunCli({QStringLiteral("--help")});
    EXPECT_EQ(top.exitCode, 0);
    EXPECT_TRUE(top.out.contains(QStringLiteral("render")));
    const CliRun render = RunCli({QStringLiteral("render"), QStringLiteral("--help")});
    EXPECT_EQ(render.exitCode, 0);
    EXPECT_TRUE(render.out.contains(QStringLiteral("--card-frame")));
}

TEST_F(RenderCommand, AnUnwritablePictureIsAFailure) {
    QStringList args = Args(QStringLiteral("h"), QStringLiteral("演出"));
    args[8] = outDir.file(QStringLiteral("no-such-dir/picture.png"));
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("no-such-dir"))) << run.err.toStdString();
}

TEST_F(RenderCommand, WithoutHomeTheUsersStationIsUsed) {
    // Config.ini where an installed station keeps it: a small screen of 128 x 16.
    ScopedEnvironment env;
    env.set("XDG_CONFIG_HOME", home.file(QStringLiteral("config")).toUtf8());
    env.set("XDG_DATA_HOME", home.file(QStringLiteral("data")).toUtf8());
    ASSERT_TRUE(QDir().mkpath(home.file(QStringLiteral("config/subtitle-station"))));
    home.write(QStringLiteral("config/subtitle-station/Config.ini"),
               EncodeGbk(QStringLiteral("[ScreenParam]\r\nScreenKind3=1\r\nScreenWidth3=128\r\n"
                                        "ScreenHeight3=16\r\n")));
    const CliRun run = RunCli({QStringLiteral("render"), QStringLiteral("--screen"),
                               QStringLiteral("x"), QStringLiteral("--row1"),
                               QStringLiteral("开场"), QStringLiteral("--out"), picture});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(QImage(picture).size(), QSize(128, 16));
}

TEST_F(RenderCommand, VersionIsTheProjectsVersion) {
    const CliRun run = RunCli({QStringLiteral("--version")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, QStringLiteral("subtitle-station-cli " STATION_PROJECT_VERSION "\n"));
}
