// The pre-show check run as an operator would, on small files made here.
#include "CliRunner.h"

#include "core/TextFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

TEST(LinesCommand, ALyricFileInShowingOrderWithItsWarnings) {
    TempDir dir;
    // UTF-8 without a byte order mark, as most lyric files are.
    const QString lyric = dir.write(
        QStringLiteral("song.lrc"),
        QStringLiteral("[ti:歌名]\r\n[offset:500]\r\n[00:01.00][00:03.50]副歌\r\n"
                       "[00:02.00]<00:02.00>字<00:02.50>词\r\n网站广告\r\n[00:00.20]开场\r\n")
            .toUtf8());
    const CliRun run = RunCli({QStringLiteral("lines"), lyric});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    const QStringList expected{
        QStringLiteral("encoding: UTF-8"),
        QStringLiteral("[00:00.00] 开场"),
        QStringLiteral("[00:00.50] 副歌"),
        QStringLiteral("[00:01.50] 字词"),
        QStringLiteral("[00:03.00] 副歌"),
        QStringLiteral("warning: never shown (line 3, it has no time tag): 网站广告"),
    };
    EXPECT_EQ(lines, expected) << run.out.toStdString();
}

TEST(LinesCommand, AScriptTooLongForAScreenAndCharactersGbkLacks) {
    TempDir dir;
    dir.write(QStringLiteral("Config.ini"),
              EncodeGbk(QStringLiteral("[ScreenParam]\r\nScreenKind1=1\r\nScreenStyle1=0\r\n"
                                       "[FontEffect]\r\nEffect1=1\r\n")));
    const QString longLine = QString(QStringLiteral("很长的一行")).repeated(30);
    const QString script =
        dir.write(QStringLiteral("act.txt"), EncodeText(QStringLiteral("第一幕\r\n") + longLine +
                                                            QStringLiteral("\r\n안녕 ♪\r\n"),
                                                        TextEncoding::Utf8Bom));
    const CliRun run =
        RunCli({QStringLiteral("lines"), QStringLiteral("--home"), dir.path(), script});
    EXPECT_EQ(run.exitCode, 1);
    QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 6) << run.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("encoding: UTF-8 with byte order mark"));
    EXPECT_EQ(lines[1], QStringLiteral("[--:--.--] 第一幕"));
    EXPECT_EQ(lines[3], QStringLiteral("[--:--.--] 안녕 ♪"));
    EXPECT_TRUE(
        run.out.contains(QStringLiteral("warning: too long for the horizontal screen (line 2)")))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("characters GBK cannot hold")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("안")));
}

TEST(LinesCommand, ACleanGbkScriptPassesAndBadArgumentsAreNamed) {
    TempDir dir;
    const QString script = dir.write(QStringLiteral("ok.txt"),
                                     JoinLinesGbk({QStringLiteral("一"), QStringLiteral("二")}));
    const CliRun clean = RunCli({QStringLiteral("lines"), script});
    EXPECT_EQ(clean.exitCode, 0) << clean.out.toStdString();
    EXPECT_EQ(clean.out, QStringLiteral("encoding: GBK\n[--:--.--] 一\n[--:--.--] 二\n"));
    EXPECT_EQ(RunCli({QStringLiteral("lines")}).exitCode, 2);
    EXPECT_EQ(RunCli({QStringLiteral("lines"), dir.file(QStringLiteral("missing.lrc"))}).exitCode,
              1);
}

TEST(LinesCommand, ASubtitleFileWithItsBlanksAndEveryBrokenCue) {
    const CliRun run = RunCli(
        {QStringLiteral("lines"), QStringLiteral(STATION_TEST_DATA_DIR "/documents/act1.srt")});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    const QString expected = QStringLiteral(
        "encoding: UTF-8 with byte order mark\n"
        "[00:01.00] 序曲\n"
        "[00:03.50]\n"
        "[00:04.00] 我的心 在燃烧\n"
        "[00:06.00] 合唱：罗密欧 & 朱丽叶\n"
        "[00:08.00] 重叠的一句\n"
        "[00:10.00]\n"
        "[00:12.00] 没有空行之后\n"
        "[00:13.00]\n"
        "[00:14.00] 缺少序号\n"
        "[00:15.00]\n"
        "[00:18.50] 终\n"
        "[00:20.00]\n"
        "warning: line 14: the cue overlaps the cue at line 10, which is still on until "
        "[00:08.25]; it replaces it\n"
        "warning: line 17: no blank line before this cue\n"
        "warning: line 21: the cue has no number\n"
        "warning: line 25: the times cannot be read, the cue is not shown: "
        "\"00:00:1X,000 --> 00:00:17,000\"\n");
    EXPECT_EQ(run.out, expected) << run.out.toStdString();

    // A clean delivery passes.
    const CliRun clean = RunCli(
        {QStringLiteral("lines"), QStringLiteral(STATION_TEST_DATA_DIR "/documents/act1.ass")});
    EXPECT_EQ(clean.exitCode, 0) << clean.out.toStdString();
    EXPECT_TRUE(clean.out.contains(QStringLiteral("\n[00:06.00] Addio, mio caro, addio\n")));
}
