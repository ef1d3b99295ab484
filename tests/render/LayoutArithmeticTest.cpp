// Layout arithmetic against a rasteriser of fixed metrics, so every position
// and size can be checked to the pixel.
#include "RenderFakes.h"

#include "render/Bitmaps.h"
#include "render/TextLayout.h"

#include <gtest/gtest.h>

namespace {

QString Chinese(int count) {
    const QString pool =
        QStringLiteral("舞台字幕控制系统演出今晚开始请大家欢迎各位观众朋友光临本剧场");
    QString text;
    for (int i = 0; i < count; ++i) {
        text += pool[i % pool.size()];
    }
    return text;
}

LayoutRequest Horizontal(SizeMode mode, bool singleRow = true) {
    LayoutRequest request;
    request.kind = RenderKind::Subtitle;
    request.frameWidth = 256;
    request.frameHeight = 32;
    request.face = QStringLiteral("宋体");
    request.sizeMode = mode;
    request.singleRow = singleRow;
    request.sizeWidth = 12;
    request.sizeHeight = 24;
    request.align = 2;
    return request;
}

LayoutRequest Vertical(SizeMode mode, bool singleRow = true) {
    LayoutRequest request = Horizontal(mode, singleRow);
    request.vertical = true;
    request.frameWidth = 32;
    request.frameHeight = 256;
    request.align = 1;
    return request;
}

class LayoutArithmetic : public ::testing::Test {
protected:
    LayoutResult Lay(const LayoutRequest& request, const QString& row1,
                     const QString& row2 = QString()) {
        fake.draws.clear();
        return LayOutText(fake, request, row1, row2);
    }
    FakeRasteriser fake;
};

} // namespace

TEST_F(LayoutArithmetic, ModeAPicksTheLargestCellThatFitsAndCentresTheRow) {
    // 20 full-width characters of cell h are 20 h wide: 20 h + 3 <= 256 gives h = 12.
    const LayoutResult result = Lay(Horizontal(SizeMode::FitBoth), Chinese(20));
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.font.cellHeight, 12);
    EXPECT_EQ(result.font.averageWidth, 0);
    ASSERT_EQ(fake.draws.size(), 1u);
    EXPECT_EQ(fake.draws[0].y, (32 - 12) / 2);
    EXPECT_EQ(fake.draws[0].x, (256 - 240) / 2);
    EXPECT_EQ(result.frame.size(), QSize(256, 32));

    // A short row takes the whole height.
    Lay(Horizontal(SizeMode::FitBoth), QStringLiteral("舞台"));
    EXPECT_EQ(fake.draws[0].font.cellHeight, 32);
    EXPECT_EQ(fake.draws[0].y, 0);

    // Nothing fits: the smallest cell remains.
    Lay(Horizontal(SizeMode::FitBoth), Chinese(300));
    EXPECT_EQ(fake.draws[0].font.cellHeight, 1);
}

TEST_F(LayoutArithmetic, AlignmentPlacesTheRow) {
    struct Case {
        int align;
        int x;
    };
    // Mode C, 10 characters of 24 pixels: 240 wide on a 256 frame.
    for (const Case& c : {Case{1, 3}, Case{2, 8}, Case{3, 13}, Case{0, 13}}) {
        LayoutRequest request = Horizontal(SizeMode::Fixed);
        request.align = c.align;
        Lay(request, Chinese(10));
        ASSERT_EQ(fake.draws.size(), 1u);
        EXPECT_EQ(fake.draws[0].x, c.x) << "align " << c.align;
        EXPECT_EQ(fake.draws[0].y, 4);
        EXPECT_EQ(fake.draws[0].spacing, 0);
    }
}

TEST_F(LayoutArithmetic, ModeBKeepsTheHeightAndNarrowsTheCharacters) {
    // Width w gives 2 w per character: 40 w + 3 <= 256 gives w = 6.
    const LayoutResult result = Lay(Horizontal(SizeMode::FitHeight), Chinese(20));
    EXPECT_EQ(result.font.cellHeight, 32);
    EXPECT_EQ(result.font.averageWidth, 6);
    // Nothing fits: width 1 remains.
    const LayoutResult tiny = Lay(Horizontal(SizeMode::FitHeight), Chinese(200));
    EXPECT_EQ(tiny.font.averageWidth, 1);
    // Short text keeps the starting width, half the height.
    EXPECT_EQ(Lay(Horizontal(SizeMode::FitHeight), Chinese(2)).font.averageWidth, 16);
}

TEST_F(LayoutArithmetic, ModeCUsesTheFixedSizeAndCutsOff) {
    const LayoutResult result = Lay(Horizontal(SizeMode::Fixed), Chinese(30));
    EXPECT_EQ(result.font.cellHeight, 24);
    EXPECT_EQ(result.font.averageWidth, 12);
    EXPECT_EQ(result.frame.size(), QSize(256, 32)); // no scrolling: no widening
}

TEST_F(LayoutArithmetic, DoubleRowGeometryOnA32PixelScreen) {
    // Rows are (32 - 2) / 2 = 15 high; row 2 starts 17 below row 1's row top.
    Lay(Horizontal(SizeMode::FitBoth, false), Chinese(3), Chinese(5));
    ASSERT_EQ(fake.draws.size(), 2u);
    EXPECT_EQ(fake.draws[0].font.cellHeight, 15);
    EXPECT_EQ(fake.draws[0].y, 0);
    EXPECT_EQ(fake.draws[1].y, 17);

    // The longer row decides the cell of both: 20 h + 3 <= 256 gives 12.
    Lay(Horizontal(SizeMode::FitBoth, false), Chinese(3), Chinese(20));
    ASSERT_EQ(fake.draws.size(), 2u);
    EXPECT_EQ(fake.draws[0].font.cellHeight, 12);
    EXPECT_EQ(fake.draws[1].font.cellHeight, 12);
    EXPECT_EQ(fake.draws[0].y, 1);
    EXPECT_EQ(fake.draws[1].y, 18);
    // Each row is aligned on its own.
    EXPECT_EQ(fake.draws[0].x, (256 - 36) / 2);
    EXPECT_EQ(fake.draws[1].x, (256 - 240) / 2);

    // An empty row never lowers the size.
    Lay(Horizontal(SizeMode::FitBoth, false), Chinese(3), QString());
    ASSERT_EQ(fake.draws.size(), 1u);
    EXPECT_EQ(fake.draws[0].font.cellHeight, 15);

    // Mode B: widths from (32 - 2) / 4 = 7 down, the narrower of both rows.
    const LayoutResult b = Lay(Horizontal(SizeMode::FitHeight, false), Chinese(20), Chinese(3));
    EXPECT_EQ(b.font.cellHeight, 15);
    EXPECT_EQ(b.font.averageWidth, 6);
}

TEST_F(LayoutArithmetic, ScrollLimitOnASingleColourScreen) {
    // Mode C with width 1: a half-width character is exactly one pixel wide.
    LayoutRequest request = Horizontal(SizeMode::Fixed);
    request.effect = 1;
    request.sizeWidth = 1;
    request.screenStyle = 0;

    LayoutResult fits = Lay(request, QString(1597, QLatin1Char('a')));
    ASSERT_TRUE(fits.ok);
    EXPECT_EQ(fits.frame.width(), 1600); // 1597 + 3
    EXPECT_EQ(fits.frame.height(), 32);

    fake.draws.clear();
    const LayoutResult tooLong = LayOutText(fake, request, QString(1598, QLatin1Char('a')), {});
    EXPECT_FALSE(tooLong.ok); // 1601 rounds to 1608
    EXPECT_EQ(tooLong.message, QStringLiteral("此行字符过多，请减少一些重试！"));
    EXPECT_TRUE(tooLong.frame.isNull());
    EXPECT_TRUE(fake.draws.empty());
}

TEST_F(LayoutArithmetic, ScrollLimitOnColourScreensIs800) {
    LayoutRequest request = Horizontal(SizeMode::Fixed);
    request.effect = 1;
    request.sizeWidth = 1;
    for (int style : {1, 2}) {
        request.screenStyle = style;
        EXPECT_TRUE(Lay(request, QString(797, QLatin1Char('a'))).ok);
        EXPECT_FALSE(Lay(request, QString(798, QLatin1Char('a'))).ok);
    }
    // The double row measures the longer row.
    request.singleRow = false;
    request.screenStyle = 1;
    EXPECT_FALSE(Lay(request, QStringLiteral("a"), QString(798, QLatin1Char('a'))).ok);
    EXPECT_EQ(Lay(request, QStringLiteral("a"), QString(797, QLatin1Char('a'))).frame.width(), 800);
}

TEST_F(LayoutArithmetic, ScrollWideningRoundsToEightAndNeverShrinks) {
    LayoutRequest request = Horizontal(SizeMode::Fixed);
    request.effect = 1;
    request.sizeWidth = 1;
    EXPECT_EQ(Lay(request, QString(10, QLatin1Char('a'))).frame.width(), 256);
    EXPECT_EQ(Lay(request, QString(253, QLatin1Char('a'))).frame.width(), 256);
    EXPECT_EQ(Lay(request, QString(254, QLatin1Char('a'))).frame.width(), 264);
    // Modes A and B never widen, whatever the effect.
    request.sizeMode = SizeMode::FitBoth;
    EXPECT_EQ(Lay(request, Chinese(300)).frame.width(), 256);
}

TEST_F(LayoutArithmetic, AutomaticSpacingSpreadsTheCharacters) {
    LayoutRequest request = Horizontal(SizeMode::Fixed);
    request.autoSpacing = true;
    request.align = 1; // ignored with automatic spacing
    // Three 24-pixel characters: gap (256 - 72) / 4 = 46 before, between and after.
    Lay(request, Chinese(3));
    ASSERT_EQ(fake.draws.size(), 1u);
    EXPECT_EQ(fake.draws[0].x, 46);
    EXPECT_EQ(fake.draws[0].spacing, 46);

    // Wider than the frame: a negative gap, truncated toward zero: -32 / 13 = -2.
    Lay(request, Chinese(12));
    EXPECT_EQ(fake.draws[0].x, -2);
    EXPECT_EQ(fake.draws[0].spacing, -2);

    // Double row: each row gets its own gap.
    request.singleRow = false;
    Lay(request, Chinese(3), Chinese(7));
    ASSERT_EQ(fake.draws.size(), 2u);
    EXPECT_EQ(fake.draws[0].spacing, 46);
    EXPECT_EQ(fake.draws[1].spacing, (256 - 168) / 8);
}

TEST_F(LayoutArithmetic, BlankRowsDrawNothingButTheFrameIsCleared) {
    for (const QString& row : {QString(), QStringLiteral("   "), QStringLiteral("\t ")}) {
        const LayoutResult result = Lay(Horizontal(SizeMode::FitBoth), row);
        ASSERT_TRUE(result.ok);
        EXPECT_TRUE(fake.draws.empty());
        EXPECT_EQ(result.frame.size(), QSize(256, 32));
        EXPECT_TRUE(IsAllBlack(result.frame));
    }
    // The untrimmed row is drawn.
    Lay(Horizontal(SizeMode::Fixed), QStringLiteral(" 舞 "));
    ASSERT_EQ(fake.draws.size(), 1u);
    EXPECT_EQ(fake.draws[0].text, QStringLiteral(" 舞 "));
}

TEST_F(LayoutArithmetic, SingleRowIgnoresRowTwo) {
    Lay(Horizontal(SizeMode::FitBoth), QString(), Chinese(4));
    EXPECT_TRUE(fake.draws.empty());
    Lay(Vertical(SizeMode::FitBoth), QString(), Chinese(4));
    EXPECT_TRUE(fake.draws.empty());
    // Row 2 does not take part in the fitting either.
    EXPECT_EQ(Lay(Horizontal(SizeMode::FitBoth), Chinese(2), Chinese(40)).font.cellHeight, 32);
}

TEST_F(LayoutArithmetic, VerticalTextIsStackedFullWidth) {
    // "AB 1" becomes four full-width cells, each drawn on its own.
    const LayoutResult result = Lay(Vertical(SizeMode::Fixed), QStringLiteral("AB 1"));
    ASSERT_EQ(fake.draws.size(), 4u);
    EXPECT_EQ(fake.draws[0].text, QStringLiteral("Ａ"));
    EXPECT_EQ(fake.draws[1].text, QStringLiteral("Ｂ"));
    EXPECT_EQ(fake.draws[2].text, QStringLiteral("\u3000"));
    EXPECT_EQ(fake.draws[3].text, QStringLiteral("１"));
    // Font 24 x 12: "杜" is 24 wide, centred in the 32 column; step 24 from y = 3.
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(fake.draws[i].x, 4);
        EXPECT_EQ(fake.draws[i].y, 3 + 24 * i);
    }
    EXPECT_EQ(result.stack1, 4 * 24);
}

TEST_F(LayoutArithmetic, VerticalFittingAndAlignment) {
    // Mode A: cells from 32 + 4 down; 5 characters of 36 make 180 + 3 <= 256.
    LayoutResult a = Lay(Vertical(SizeMode::FitBoth), Chinese(5));
    EXPECT_EQ(a.font.cellHeight, 36);
    EXPECT_EQ(a.font.averageWidth, 0);
    EXPECT_EQ(a.stack1, 180);
    EXPECT_EQ(fake.draws[0].x, (32 - 36) / 2);
    // 10 characters: 10 c + 3 <= 256 gives 25.
    EXPECT_EQ(Lay(Vertical(SizeMode::FitBoth), Chinese(10)).font.cellHeight, 25);

    // Mode B: the same cells, characters as wide as the column.
    const LayoutResult b = Lay(Vertical(SizeMode::FitHeight), Chinese(10));
    EXPECT_EQ(b.font.cellHeight, 25);
    EXPECT_EQ(b.font.averageWidth, 16);
    EXPECT_EQ(fake.draws[0].x, 0);

    // Centre and right (bottom) alignment from the stack length.
    LayoutRequest request = Vertical(SizeMode::Fixed);
    request.align = 2;
    Lay(request, Chinese(5)); // S = 120
    EXPECT_EQ(fake.draws[0].y, (256 - 120) / 2);
    request.align = 3;
    Lay(request, Chinese(5));
    EXPECT_EQ(fake.draws[0].y, 256 - 120 - 3);
}

TEST_F(LayoutArithmetic, VerticalDoubleRowPutsTheCurrentLineRight) {
    LayoutRequest request = Vertical(SizeMode::Fixed, false);
    request.sizeWidth = 6;
    request.sizeHeight = 12;
    Lay(request, Chinese(2), QStringLiteral("下一"));
    ASSERT_EQ(fake.draws.size(), 4u);
    // Columns (32 - 2) / 2 = 15 wide: row 1 right at (15 - 12) / 2 + 17, row 2 left.
    EXPECT_EQ(fake.draws[0].x, 18);
    EXPECT_EQ(fake.draws[1].x, 18);
    EXPECT_EQ(fake.draws[2].text, QStringLiteral("下"));
    EXPECT_EQ(fake.draws[2].x, 1);

    // Mode A: cells from 15 + 2 down, the smaller of both rows.
    const LayoutResult a = Lay(Vertical(SizeMode::FitBoth, false), Chinese(2), Chinese(20));
    EXPECT_EQ(a.font.cellHeight, 12); // 20 c + 3 <= 256
    EXPECT_EQ(a.stack1, 24);
    EXPECT_EQ(a.stack2, 240);
    const LayoutResult shortRows = Lay(Vertical(SizeMode::FitBoth, false), Chinese(2), QString());
    EXPECT_EQ(shortRows.font.cellHeight, 17);

    // Mode B: fitted with a = 15, characters 15 / 2 wide.
    const LayoutResult b = Lay(Vertical(SizeMode::FitHeight, false), Chinese(20), Chinese(1));
    EXPECT_EQ(b.font.cellHeight, 12);
    EXPECT_EQ(b.font.averageWidth, 7);
}

TEST_F(LayoutArithmetic, VerticalAutomaticSpacing) {
    LayoutRequest request = Vertical(SizeMode::Fixed);
    request.autoSpacing = true;
    // S = 4 x 24 = 96; gap (256 - 96) / 5 = 32 replaces the start.
    Lay(request, Chinese(4));
    ASSERT_EQ(fake.draws.size(), 4u);
    EXPECT_EQ(fake.draws[0].y, 32);
    EXPECT_EQ(fake.draws[1].y, 32 + 24 + 32);
    // Longer than the frame: gap 0, from the top.
    Lay(request, Chinese(12));
    EXPECT_EQ(fake.draws[0].y, 0);
    EXPECT_EQ(fake.draws[1].y, 24);
}

TEST_F(LayoutArithmetic, VerticalScrollLengthensTheFrameWithinTheLimit) {
    LayoutRequest request = Vertical(SizeMode::Fixed);
    request.effect = 1;
    request.sizeHeight = 8;
    // 199 cells of 8: 1592 + 3 -> 1600.
    const LayoutResult fits = Lay(request, Chinese(199));
    ASSERT_TRUE(fits.ok);
    EXPECT_EQ(fits.frame.size(), QSize(32, 1600));
    // 200 cells: 1603 -> 1608, too long.
    const LayoutResult tooLong = Lay(request, Chinese(200));
    EXPECT_FALSE(tooLong.ok);
    EXPECT_EQ(tooLong.message, kLineTooLongMessage);
    // Dual colour: 800.
    request.screenStyle = 1;
    EXPECT_EQ(Lay(request, Chinese(99)).frame.height(), 800);
    EXPECT_FALSE(Lay(request, Chinese(100)).ok);
    // Double row takes the longer column.
    request.singleRow = false;
    EXPECT_FALSE(Lay(request, Chinese(1), Chinese(100)).ok);
}

TEST_F(LayoutArithmetic, MeasureStackKinds) {
    const FontParams style{QStringLiteral("宋体"), 0, 0, false, false};
    // Kind 1: full-width characters are square, half-width ones half as wide.
    EXPECT_EQ(MeasureStack(fake, QStringLiteral("舞台"), style, 0, 20, 1), 40);
    EXPECT_EQ(MeasureStack(fake, QStringLiteral("舞a"), style, 0, 20, 1), 30);
    // Kinds 2 and 3: two-byte characters by their height at cell b, one-byte
    // characters by their width at width b / 2.
    EXPECT_EQ(MeasureStack(fake, QStringLiteral("舞台"), style, 32, 20, 2), 40);
    EXPECT_EQ(MeasureStack(fake, QStringLiteral("舞ab"), style, 32, 20, 3), 20 + 10 + 10);
    EXPECT_EQ(MeasureStack(fake, QString(), style, 32, 20, 3), 0);
}

TEST(AdvertMessages, FamilyOfTooLongMessages) {
    const QString a = QStringLiteral("字符过多，请减少一些重试！");
    const QString b = QStringLiteral("字符过多，请减少一些后重试");
    const QString c = QStringLiteral("字符过多，请较少一些后重试");
    // horizontal single, horizontal double, vertical single, vertical double
    EXPECT_EQ(AdvertTooLongMessage(ScreenId::h, false, true), a);
    EXPECT_EQ(AdvertTooLongMessage(ScreenId::s, false, true), b);
    EXPECT_EQ(AdvertTooLongMessage(ScreenId::x, false, true), c);
    EXPECT_EQ(AdvertTooLongMessage(ScreenId::h, false, false), b);
    EXPECT_EQ(AdvertTooLongMessage(ScreenId::s, false, false), b);
    EXPECT_EQ(AdvertTooLongMessage(ScreenId::x, false, false), c);
    EXPECT_EQ(AdvertTooLongMessage(ScreenId::h, true, true), b);
    EXPECT_EQ(AdvertTooLongMessage(ScreenId::s, true, true), b);
    EXPECT_EQ(AdvertTooLongMessage(ScreenId::x, true, true), b);
    EXPECT_EQ(AdvertTooLongMessage(ScreenId::h, true, false), b);
    EXPECT_EQ(AdvertTooLongMessage(ScreenId::s, true, false), b);
    EXPECT_EQ(AdvertTooLongMessage(ScreenId::x, true, false), c);
}
