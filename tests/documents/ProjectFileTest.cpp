#include "documents/ProjectFile.h"

#include "core/TextFiles.h"

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TSettings Distinct() {
    TSettings s;
    s.Link = {9, 2, 6};
    int n = 1;
    for (ScreenId id : kAllScreens) {
        s.screen(id) = {n != 2, n, 100 + n, 50 + n, n % 3, n + 4, n % 2, (n + 1) % 2, 40 + n};
        TTextEffect& e = s.effect(id);
        e = {U("字体") + QString::number(n),
             n,
             1,
             n % 2,
             2,
             n,
             30 + n,
             40 + n,
             n != 2,
             n + 2,
             n + 5,
             n};
        ++n;
    }
    s.Text = {1, 7, 2, 2};
    return s;
}

TEST(ProjectFile, WritesTheFixedLayout) {
    const QStringList lines = ProjectFileLines(TSettings(), {U("第一行")});
    ASSERT_EQ(lines.size(), 1 + 2 + 3 + 3 + 18 + 1 + 1 + 4 + 36 + 1 + 1 + 1);
    EXPECT_EQ(lines.mid(0, 10),
              QStringList({U("[ScreenParam]"), U("Com=0"), U("Rate=3"), U("ScreenKind1=0"),
                           U("ScreenKind2=0"), U("ScreenKind3=0"), U("Flash1=1"), U("Flash2=1"),
                           U("Flash3=1"), U("ScreenWidth1=256")}));
    EXPECT_EQ(lines[27], U(""));
    EXPECT_EQ(lines[28], U("[FontEffect]"));
    EXPECT_EQ(lines[33], U("Font1=宋体"));
    EXPECT_EQ(lines[41], U("Zjj1=false"));
    EXPECT_EQ(lines[44], U("RollStay1=1"));
    EXPECT_EQ(lines.mid(lines.size() - 3), QStringList({U(""), U("[Content]"), U("第一行")}));
    EXPECT_FALSE(lines.join(u'\n').contains(U("FrameType")));
    EXPECT_FALSE(lines.join(u'\n').contains(U("Light")));
}

TEST(ProjectFile, RoundTripsEverySettingAndTheLines) {
    const TSettings saved = Distinct();
    const QStringList content = {U("第一幕"),       U(""),          U("[Content]"), U("  spaced  "),
                                 U("[FontEffect]"), U("AutoPara=0")};
    TSettings loaded;
    loaded.Link.Light = 13;
    loaded.Screen[0].FrameType = 77;
    const QStringList lines =
        ParseProjectText(DecodeGbk(JoinLinesGbk(ProjectFileLines(saved, content))), loaded);
    EXPECT_EQ(lines, content);
    EXPECT_EQ(loaded.Link.Com, saved.Link.Com);
    EXPECT_EQ(loaded.Link.Rate, saved.Link.Rate);
    EXPECT_EQ(loaded.Link.Light, 13); // not part of a project
    EXPECT_EQ(loaded.Text, saved.Text);
    EXPECT_EQ(loaded.Effect, saved.Effect);
    for (int i = 0; i < 3; ++i) {
        TScreenParams expected = saved.Screen[size_t(i)];
        expected.FrameType = i == 0 ? 77 : 0; // left as it was
        EXPECT_EQ(loaded.Screen[size_t(i)], expected) << i;
    }
}

TEST(ProjectFile, MissingContentAndBrokenKeysGiveDefaults) {
    TSettings loaded = Distinct();
    const QStringList lines = ParseProjectText(
        U("[screenparam]\nScreenWidth1=wide\nScreenKind1=true\n[FontEffect]\nZjj1=TRUE\nZjj2=no\n"
          "Zjj3=-4\nFont2=[Content] is not here\n"),
        loaded);
    EXPECT_TRUE(lines.isEmpty());
    EXPECT_EQ(loaded.screen(ScreenId::h).ScreenWidth, 256);
    EXPECT_FALSE(loaded.screen(ScreenId::h).ScreenKind);
    EXPECT_EQ(loaded.screen(ScreenId::s).ScreenHeight, 256);
    EXPECT_TRUE(loaded.effect(ScreenId::h).Zjj);
    EXPECT_FALSE(loaded.effect(ScreenId::s).Zjj);
    EXPECT_TRUE(loaded.effect(ScreenId::x).Zjj);
    EXPECT_EQ(loaded.effect(ScreenId::s).Font, U("[Content] is not here"));
    EXPECT_EQ(loaded.effect(ScreenId::x).Font, U("宋体"));
    EXPECT_EQ(loaded.Text, TTextCommon());
}

TEST(ProjectFile, ScriptLinesCannotOverrideSettings) {
    TSettings loaded;
    const QStringList lines = ParseProjectText(
        U("[FontEffect]\r\nAlign=2\r\n[Content]\r\n[ScreenParam]\r\nScreenWidth1=999\r\n"), loaded);
    EXPECT_EQ(lines, QStringList({U("[ScreenParam]"), U("ScreenWidth1=999")}));
    EXPECT_EQ(loaded.screen(ScreenId::h).ScreenWidth, 256);
    EXPECT_EQ(loaded.Text.Align, 2);
}

} // namespace
