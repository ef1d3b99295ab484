#include "documents/LineBuilding.h"

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TTextCommon Paragraphs(int paraLen) {
    TTextCommon text;
    text.AutoPara = 1;
    text.ParaLen = paraLen;
    return text;
}

TEST(LyricFilter, DropsHeaderTagsAndBlankLinesAndTrims) {
    const QStringList file = {U("[ti:Song]"),
                              U(""),
                              U("  [00:12.50]First \t"),
                              U("[01:02]Second"),
                              U("Plain"),
                              U("[ar:x]"),
                              U("[no close"),
                              U("[]empty tag"),
                              U("   ")};
    EXPECT_EQ(ApplyLyricFilter(file),
              QStringList({U("[00:12.50]First"), U("[01:02]Second"), U("Plain"), U("[no close")}));
}

TEST(LyricList, ItemsFromTagsAndUntaggedLines) {
    const LineList items = BuildLyricList({U("[00:12.50]First"), U("[01:02]  Second "), U("Plain"),
                                           U(""), U("[ti:x]"), U("[02:00]a [03:00]b"), U("[x")});
    const LineList expected = {{U("1"), U("First"), U("[00:12.50]")},
                               {U("2"), U("Second"), U("[01:02]")},
                               {U("3"), U("Plain"), U("")},
                               // A stamp between words is word timing, not text.
                               {U("4"), U("a b"), U("[02:00]")},
                               {U("5"), U("[x"), U("")}};
    EXPECT_EQ(items, expected);
}

TEST(TagSeconds, Table) {
    struct Case {
        const char* tag;
        int seconds;
    };
    const Case cases[] = {
        {"[1:02:03.99]", 3723},
        {"[02:03]", 123},
        {"[45.9]", 45},
        {"[1x:05]", 5},
        {"[00:12.50]", 12},
        {"[10:05.00]", 605},
        {"[100:05.00]", 6005},
        {"[]", 0},
        {"[", 0},
        {"", 0},
        {"[1:2:3:4]", 3720},
        {"[ 5]", 0},
        {"[99999999999:00]", 2147483647},
        {"[9999999:00:00]", 2147483647},
        {"[x9:30]", 30},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TagSeconds(U(c.tag)), c.seconds) << c.tag;
    }
}

TEST(TagSeconds, SecondsField) {
    EXPECT_EQ(TagSecondsField(U("[01:00.00]")), 0);
    EXPECT_EQ(TagSecondsField(U("[02:07.50]")), 7);
    EXPECT_EQ(TagSecondsField(U("[1:02:03]")), 3);
    EXPECT_EQ(TagSecondsField(U("[45.9]")), 45);
    EXPECT_EQ(TagSecondsField(U("[1:xx]")), 0);
    EXPECT_EQ(TagSecondsField(U("")), 0);
}

TEST(TimeTag, FormatsMinutesAndSeconds) {
    EXPECT_EQ(FormatTimeTag(0), U("[00:00.00]"));
    EXPECT_EQ(FormatTimeTag(65), U("[01:05.00]"));
    EXPECT_EQ(FormatTimeTag(605), U("[10:05.00]"));
    EXPECT_EQ(FormatTimeTag(6005), U("[100:05.00]"));
    EXPECT_EQ(TagSeconds(FormatTimeTag(6005)), 6005);
}

TEST(SegmentedList, WholeLinesWithoutParagraphing) {
    const LineList items = BuildSegmentedList({U("一"), U(""), U(" b ")}, TTextCommon());
    const LineList expected = {
        {U("1"), U("一"), U("0")}, {U("2"), U(""), U("1")}, {U("3"), U(" b "), U("2")}};
    EXPECT_EQ(items, expected);
}

TEST(SegmentedList, SegmentsKeepCharactersWhole) {
    struct Case {
        int paraLen;
        QStringList lines;
        LineList items;
    };
    const Case cases[] = {
        {2,
         {U("一二三四五")},
         {{U("1"), U("一二"), U("0")}, {U("2"), U("三四"), U("0")}, {U("3"), U("五"), U("0")}}},
        {2, {U("a一二三")}, {{U("1"), U("a一"), U("0")}, {U("2"), U("二三"), U("0")}}},
        {2,
         {U("abcdefghij")},
         {{U("1"), U("abcd"), U("0")}, {U("2"), U("efgh"), U("0")}, {U("3"), U("ij"), U("0")}}},
        {2,
         {U("一二"), U(""), U("ab一c")},
         {{U("1"), U("一二"), U("0")},
          {U("2"), U(""), U("1")},
          {U("3"), U("ab一"), U("2")},
          {U("4"), U("c"), U("2")}}},
        // A length of 0 or less still makes progress, one character a segment.
        {0, {U("一a")}, {{U("1"), U("一"), U("0")}, {U("2"), U("a"), U("0")}}},
        // Characters GBK lacks (Hangul, a note, an emoji) reach the screens as
        // themselves, two bytes wide each.
        {2,
         {U("가나다♪😀")},
         {{U("1"), U("가나"), U("0")}, {U("2"), U("다♪"), U("0")}, {U("3"), U("😀"), U("0")}}},
        // The euro sign is one byte in GBK.
        {2, {U("€€€一")}, {{U("1"), U("€€€"), U("0")}, {U("2"), U("一"), U("0")}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildSegmentedList(c.lines, Paragraphs(c.paraLen)), c.items)
            << c.lines.join(u'|').toStdString();
    }
}

TEST(SegmentedList, VeryLongLineIsCutQuickly) {
    const QString line = QString(U("字")).repeated(100000);
    const LineList items = BuildSegmentedList({line}, Paragraphs(60));
    ASSERT_EQ(items.size(), 100000 / 60 + 1);
    EXPECT_EQ(items.first().Text.size(), 60);
    EXPECT_EQ(items.last().Text.size(), 100000 % 60);
    EXPECT_EQ(items.last().Number, QString::number(items.size()));
}

} // namespace
