#include "documents/LyricTimeline.h"
#include "documents/LineBuilding.h"
#include "documents/Playlist.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

SubtitleDocument Lyric(const QStringList& lines) {
    SubtitleDocument document;
    document.path = U("/s/song.lrc");
    document.kind = DocumentKind::Lyric;
    document.lines = lines;
    return document;
}

TEST(TagMilliseconds, Table) {
    struct Case {
        const char* tag;
        qint64 ms;
    };
    const Case cases[] = {
        {"[01:23.45]", 83450}, {"[1:02:03.5]", 3723500}, {"[45.123]", 45123},
        {"[00:07]", 7000},     {"[00:-03.00]", -3000},   {"[00:-03.50]", -3500},
        {"[1x:05]", 5000},     {"[00:07.5x]", 7000},     {"[]", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TagMilliseconds(U(c.tag)), c.ms) << c.tag;
    }
}

TEST(LyricLine, StampsWordTagsMetadataAndOffset) {
    const LyricLine chorus = ParseLyricLine(U("[01:00.07][02:10.54] <01:00.07>副<01:00.50>歌 "));
    EXPECT_EQ(chorus.kind, LyricLine::Kind::Item);
    EXPECT_EQ(chorus.source, U("[01:00.07]"));
    EXPECT_EQ(chorus.stampsMs, (std::vector<qint64>{60070, 130540}));
    EXPECT_EQ(chorus.text, U("副歌"));

    for (const char* meta : {"[ar:歌手]", "[ti:歌名]", "[al:x]", "[by:y]", "[length:03:25]",
                             "[re:tool]", "[ve:1.0]", ""}) {
        EXPECT_EQ(ParseLyricLine(U(meta)).kind, LyricLine::Kind::None) << meta;
    }
    const LyricLine offset = ParseLyricLine(U("[OFFSET: -250]"));
    EXPECT_EQ(offset.kind, LyricLine::Kind::Offset);
    EXPECT_EQ(offset.offsetMs, -250);
    EXPECT_EQ(ParseLyricLine(U("[offset:+5000]")).offsetMs, 5000);
}

TEST(LyricList, ShownTextLosesExtraStampsAndWordTags) {
    const LineList items = BuildLyricList(
        {U("[00:01.00][00:09.00]<00:01.00>a<00:01.50>b"), U("[offset:100]"), U("plain")});
    const LineList expected = {{U("1"), U("ab"), U("[00:01.00]")}, {U("2"), U("plain"), U("")}};
    EXPECT_EQ(items, expected);
}

TEST(LyricFilter, OffsetStaysAfterTheRows) {
    const QStringList kept = ApplyLyricFilter(
        {U("[ti:t]"), U(" [offset:+500] "), U("[00:01.00]a"), U("b"), U("[ar:x]")});
    EXPECT_EQ(kept, QStringList({U("[00:01.00]a"), U("b"), U("[offset:+500]")}));
    // Row i of the list is still document line i.
    EXPECT_EQ(BuildLyricList(kept).size(), 2);
    EXPECT_EQ(LyricOffsetMs(kept), 500);
}

TEST(Timeline, ShowingOrderAndLinesNeverShown) {
    const SubtitleDocument document = Lyric({
        U("歌名 - 歌手"),              // 0: untimed title
        U("[00:03.00][00:01.00]副歌"), // 1: two stamps, out of order
        U("[00:02.00]二"),             // 2
        U("[00:-01.00]零"),            // 3: negative: at the start
        U("[00:02.00]同时"),           // 4: same time as 2, later in the file
        U("[offset:+500]"),
    });
    const DocumentTimeline timeline = BuildTimeline(document, BuildLyricList(document.lines));
    EXPECT_TRUE(timeline.timed);
    EXPECT_EQ(timeline.offsetMs, 500);
    const QList<TimelineEntry> expected = {
        {3, 0, U("零")}, {1, 500, U("副歌")}, {4, 1500, U("同时")}, {1, 2500, U("副歌")}};
    EXPECT_EQ(timeline.entries, expected);
    const QList<NeverShownEntry> never = {
        {{0, std::nullopt, U("歌名 - 歌手")}, NeverShownReason::NoTimeTag},
        {{2, 1500, U("二")}, NeverShownReason::SameTimeAsLater}};
    EXPECT_EQ(timeline.neverShown, never);
}

TEST(Timeline, UntimedScriptsInListOrder) {
    const SubtitleDocument zeros = Lyric({U("[00:00.00]a"), U("b")});
    const DocumentTimeline lyric = BuildTimeline(zeros, BuildLyricList(zeros.lines));
    EXPECT_FALSE(lyric.timed);
    EXPECT_EQ(lyric.entries,
              (QList<TimelineEntry>{{0, std::nullopt, U("a")}, {1, std::nullopt, U("b")}}));
    EXPECT_TRUE(lyric.neverShown.isEmpty());

    SubtitleDocument text;
    text.path = U("/s/a.txt");
    text.kind = DocumentKind::PlainText;
    text.lines = {U("[00:05.00]not a tag here")};
    const DocumentTimeline plain = BuildTimeline(text, BuildSegmentedList(text.lines, {}));
    EXPECT_FALSE(plain.timed);
    EXPECT_EQ(plain.entries,
              (QList<TimelineEntry>{{0, std::nullopt, U("[00:05.00]not a tag here")}}));
}

TEST(PartnerPath, FindsThePartnerWithAnyCaseOfItsExtension) {
    TempDir dir;
    const QString upper = dir.write(U("歌.MP3"), "x");
    dir.write(U("歌.LRC"), "x");
    EXPECT_EQ(PartnerPath(dir.file(U("歌.LRC"))), upper);
    EXPECT_EQ(PartnerPath(upper), dir.file(U("歌.LRC")));
    // The exact name wins when both exist; the base name must match exactly.
    const QString exact = dir.write(U("歌.mp3"), "x");
    EXPECT_EQ(PartnerPath(dir.file(U("歌.LRC"))), exact);
    dir.write(U("Song.MP3"), "x");
    EXPECT_EQ(PartnerPath(dir.file(U("song.lrc"))), dir.file(U("song.mp3")));
}

} // namespace

TEST(LyricTimeline, WordTimingOfBothEnhancedFormsNeverReachesTheScreens) {
    struct Case {
        QString line;
        QString text;
        std::vector<qint64> stamps;
    };
    const Case cases[] = {
        {U("[00:02.000] <00:02.500> spark <00:03.000> light"), U("spark light"), {2000}},
        {U("[00:05.000] hello [00:06.000] world"), U("hello world"), {5000}},
        {U("[00:09.25] feel [00:10.50] the [00:11.75] rhythm"), U("feel the rhythm"), {9250}},
        // Spaces the operator typed stay when no tag was removed.
        {U("[00:01.00]a  b"), U("a  b"), {1000}},
    };
    for (const Case& c : cases) {
        const LyricLine parsed = ParseLyricLine(c.line);
        EXPECT_EQ(parsed.text, c.text) << c.line.toStdString();
        EXPECT_EQ(parsed.stampsMs, c.stamps) << c.line.toStdString();
    }
}
