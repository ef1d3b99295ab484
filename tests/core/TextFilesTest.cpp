#include "core/TextFiles.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TEST(TextFiles, GbkRoundTripOfChineseAndLatin) {
    const QString text = U("舞台字幕 abc 一二三");
    const QByteArray gbk = EncodeGbk(text);
    EXPECT_EQ(gbk.size(), 4 * 2 + 5 + 3 * 2);
    EXPECT_EQ(gbk.left(2), QByteArray("\xCE\xE8"));
    EXPECT_EQ(DecodeGbk(gbk), text);
}

TEST(TextFiles, InvalidGbkBytesBecomeReplacementAndKeepTheRest) {
    // A lone lead byte in the middle, and one at the very end.
    const QByteArray bytes = QByteArray("ab\x81 cd") + EncodeGbk(U("字")) + QByteArray("\xB0");
    const QString text = DecodeGbk(bytes);
    EXPECT_TRUE(text.startsWith(U("ab")));
    EXPECT_TRUE(text.contains(U(" cd字")));
    EXPECT_EQ(text.back(), QChar(QChar::ReplacementCharacter));
    EXPECT_GE(text.count(QChar(QChar::ReplacementCharacter)), 2);
}

TEST(TextFiles, ByteOrderMarksSelectTheEncoding) {
    const QString text = U("第一行\r\nsecond");
    QByteArray utf16le("\xFF\xFE", 2);
    QByteArray utf16be("\xFE\xFF", 2);
    for (QChar c : text) {
        utf16le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
        utf16be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    }
    EXPECT_EQ(DecodeFileText(QByteArray("\xEF\xBB\xBF") + text.toUtf8()), text);
    EXPECT_EQ(DecodeFileText(utf16le), text);
    EXPECT_EQ(DecodeFileText(utf16be), text);
    EXPECT_EQ(DecodeFileText(EncodeGbk(text)), text);
    // Without a mark UTF-8 bytes are read as GBK, which is what the station writes.
    EXPECT_NE(DecodeFileText(text.toUtf8()), text);
}

TEST(TextFiles, SplitLinesTable) {
    struct Case {
        const char* text;
        QStringList lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {U("a")}},
        {"a\r\n", {U("a")}},
        {"a\r\nb", {U("a"), U("b")}},
        {"a\nb\rc\r\nd", {U("a"), U("b"), U("c"), U("d")}},
        {"a\n\nb\n", {U("a"), U(""), U("b")}},
        {"\r\n", {U("")}},
        {"a\r\r\n", {U("a"), U("")}},
        {"a\n\r", {U("a"), U("")}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitLines(U(c.text)), c.lines) << c.text;
    }
}

TEST(TextFiles, JoinWritesGbkWithCrLfAfterEveryLine) {
    EXPECT_EQ(JoinLinesGbk({}), QByteArray());
    EXPECT_EQ(JoinLinesGbk({U("")}), QByteArray("\r\n"));
    EXPECT_EQ(JoinLinesGbk({U("a"), U("字")}), QByteArray("a\r\n\xD7\xD6\r\n"));
}

TEST(TextFiles, GbkPrefixNeverSplitsACharacter) {
    const QByteArray bytes = EncodeGbk(U("a一二三")); // 7 bytes: a + 3 x 2
    EXPECT_EQ(GbkPrefixLength(bytes, 0), 0);
    EXPECT_EQ(GbkPrefixLength(bytes, 1), 1);
    EXPECT_EQ(GbkPrefixLength(bytes, 2), 1);
    EXPECT_EQ(GbkPrefixLength(bytes, 3), 3);
    EXPECT_EQ(GbkPrefixLength(bytes, 4), 3);
    EXPECT_EQ(GbkPrefixLength(bytes, 100), 7);
    // A dangling lead byte at the end counts as one byte so walking stops.
    const QByteArray dangling("a\xB0", 2);
    EXPECT_EQ(GbkCharLength(dangling, 1), 1);
    EXPECT_EQ(GbkPrefixLength(dangling, 2), 2);
    EXPECT_EQ(GbkLength(U("a一")), 3);
}

TEST(TextFiles, TrimControlKeepsWideSpaces) {
    EXPECT_EQ(TrimControl(U("\t\r  a b \x01")), U("a b"));
    EXPECT_EQ(TrimControl(U("\u3000字\u3000 ")), U("\u3000字\u3000"));
    EXPECT_EQ(TrimControl(U(" \t ")), U(""));
}

TEST(TextFiles, ReadAndWriteLineFiles) {
    TempDir dir;
    const QString path = dir.file(QStringLiteral("lines.txt"));
    ASSERT_TRUE(WriteLineFile(path, {U("第一"), U(""), U(" x ")}));
    EXPECT_EQ(TempDir::read(path), QByteArray("\xB5\xDA\xD2\xBB\r\n\r\n x \r\n"));
    const LineFileContent content = ReadLineFile(path);
    ASSERT_TRUE(content.status);
    EXPECT_EQ(content.lines, QStringList({U("第一"), U(""), U(" x ")}));
}

TEST(TextFiles, MissingFileAndUnwritablePathNameTheFile) {
    TempDir dir;
    const QString missing = dir.file(QStringLiteral("nothing.txt"));
    const LineFileContent content = ReadLineFile(missing);
    EXPECT_FALSE(content.status);
    EXPECT_TRUE(content.status.message.contains(QStringLiteral("nothing.txt")));

    const QString unwritable = dir.file(QStringLiteral("no/such/dir/out.txt"));
    const IoStatus status = WriteLineFile(unwritable, {U("x")});
    EXPECT_FALSE(status);
    EXPECT_TRUE(status.message.contains(QStringLiteral("out.txt")));
}

TEST(TextFiles, FailedWriteLeavesTheOldFileWhole) {
    TempDir dir;
    const QString path = dir.write(QStringLiteral("keep.txt"), "old\r\n");
    IoStatus status;
    {
        FileSizeLimit full(64);
        status = WriteLineFile(path, {QString(200, u'x')});
    }
    EXPECT_FALSE(status);
    EXPECT_TRUE(status.message.contains(QStringLiteral("keep.txt")));
    EXPECT_EQ(TempDir::read(path), QByteArray("old\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({QStringLiteral("keep.txt")}));
}

} // namespace

TEST(TextFiles, AMissingCodecIsNamedForTheOperator) {
    EXPECT_EQ(MissingCodecMessage(), QString());
    const QString missing = MissingCodecMessage("No-Such-Codec-42");
    EXPECT_TRUE(missing.contains(QStringLiteral("No-Such-Codec-42")));
    EXPECT_TRUE(missing.contains(QStringLiteral("无法")));
}
