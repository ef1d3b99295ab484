#include "documents/LineListLayout.h"

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TEST(LineListLayout, ColumnsByKind) {
    const QList<LineListColumn> lyric = {{U("幕号"), 50}, {U("歌词"), 480}, {U("时间"), 100}};
    const QList<LineListColumn> text = {{U("幕号"), 50}, {U("内容"), 520}};
    EXPECT_EQ(LineListColumns(DocumentKind::Lyric), lyric);
    EXPECT_EQ(LineListColumns(DocumentKind::None, true), lyric);
    EXPECT_EQ(LineListColumns(DocumentKind::PlainText), text);
    EXPECT_EQ(LineListColumns(DocumentKind::Project), text);
    EXPECT_EQ(LineListColumns(DocumentKind::None), text);
}

TEST(LineListLayout, BackgroundsFollowTheRowKey) {
    const Rgb odd{234, 242, 242};
    const Rgb even{253, 253, 253};
    const LineItem segmentOfLine3{U("7"), U("x"), U("3")};
    EXPECT_EQ(LineListRowBackground(DocumentKind::PlainText, 6, segmentOfLine3, false), odd);
    EXPECT_EQ(LineListRowBackground(DocumentKind::Project, 7, segmentOfLine3, false), odd);
    EXPECT_EQ(LineListRowBackground(DocumentKind::PlainText, 0, {U("1"), U("x"), U("0")}, false),
              even);
    const LineItem tagged{U("2"), U("x"), U("[00:01]")};
    EXPECT_EQ(LineListRowBackground(DocumentKind::Lyric, 1, tagged, false), odd);
    EXPECT_EQ(LineListRowBackground(DocumentKind::Lyric, 2, tagged, false), even);
    EXPECT_EQ(LineListRowBackground(DocumentKind::Lyric, 1, tagged, true), Rgb({204, 204, 153}));
}

TEST(LineListLayout, TextPlacementByAlignment) {
    const auto text = LineListColumns(DocumentKind::PlainText);
    LineListRowLayout left = LineListRowPlacement(text, 1);
    EXPECT_EQ(left.numberX, 4);
    EXPECT_EQ(left.textLeft, 54);
    EXPECT_EQ(left.textRight, 566);
    EXPECT_EQ(left.anchor, TextAnchor::Left);
    EXPECT_EQ(left.sourceX, -1);
    EXPECT_EQ(LineListRowPlacement(text, 2).anchor, TextAnchor::Centre);
    EXPECT_EQ(LineListRowPlacement(text, 0).anchor, TextAnchor::Right);
    EXPECT_EQ(LineListRowPlacement(text, 3).anchor, TextAnchor::Right);
    const LineListRowLayout lyric = LineListRowPlacement(LineListColumns(DocumentKind::Lyric), 2);
    EXPECT_EQ(lyric.textRight, 526);
    EXPECT_EQ(lyric.columnRight, 530);
    EXPECT_EQ(lyric.sourceX, 534);
}

} // namespace
