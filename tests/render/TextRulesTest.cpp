#include "render/TextRules.h"
#include "render/Bitmaps.h"

#include <gtest/gtest.h>

TEST(TextRules, SplitCharactersKeepsEachCharacterWhole) {
    const QStringList characters = SplitCharacters(QStringLiteral("A中 b\U0001F600字"));
    ASSERT_EQ(characters.size(), 6);
    EXPECT_EQ(characters[0], QStringLiteral("A"));
    EXPECT_EQ(characters[1], QStringLiteral("中"));
    EXPECT_EQ(characters[2], QStringLiteral(" "));
    EXPECT_EQ(characters[4], QStringLiteral("\U0001F600")); // a surrogate pair stays together
    EXPECT_EQ(characters[5], QStringLiteral("字"));
    EXPECT_TRUE(SplitCharacters(QString()).isEmpty());

    EXPECT_FALSE(IsTwoByteCharacter(QStringLiteral("A")));
    EXPECT_FALSE(IsTwoByteCharacter(QStringLiteral("~")));
    EXPECT_TRUE(IsTwoByteCharacter(QStringLiteral("中")));
    EXPECT_TRUE(IsTwoByteCharacter(QStringLiteral("\u00E9")));
}

TEST(TextRules, ToFullWidthConvertsPrintableAsciiAndSpace) {
    EXPECT_EQ(ToFullWidth(QStringLiteral("AB 1")), QStringLiteral("ＡＢ\u3000１"));
    EXPECT_EQ(ToFullWidth(QStringLiteral("!~")), QStringLiteral("\uFF01\uFF5E"));
    // Chinese text, control characters and what is already full-width stay.
    EXPECT_EQ(ToFullWidth(QStringLiteral("中\tＡ")), QStringLiteral("中\tＡ"));
    EXPECT_EQ(ToFullWidth(QString()), QString());
}

TEST(TextRules, BlankRowsAreEmptyOrControlAndSpaceOnly) {
    EXPECT_TRUE(IsBlankRow(QString()));
    EXPECT_TRUE(IsBlankRow(QStringLiteral(" \t\r\n ")));
    EXPECT_FALSE(IsBlankRow(QStringLiteral("  a ")));
    EXPECT_FALSE(IsBlankRow(QStringLiteral("\u3000"))); // ideographic space is a character
}

TEST(TextRules, ScrollLengthsRoundUpToEightAndLimitByColourKind) {
    EXPECT_EQ(RoundUpToGranule(1600), 1600);
    EXPECT_EQ(RoundUpToGranule(1601), 1608);
    EXPECT_EQ(RoundUpToGranule(3), 8);
    EXPECT_EQ(ScrollLengthLimit(0), 1600);
    EXPECT_EQ(ScrollLengthLimit(1), 800);
    EXPECT_EQ(ScrollLengthLimit(2), 800);
}

TEST(Bitmaps, TurnsAreQuarterTurnsInOppositeDirections) {
    QImage source = BlackBitmap(3, 2);
    source.setPixel(0, 0, kRed);   // top-left
    source.setPixel(2, 1, kGreen); // bottom-right
    source.setPixel(2, 0, kYellow);

    const QImage anticlockwise = TurnAnticlockwise(source);
    ASSERT_EQ(anticlockwise.size(), QSize(2, 3));
    // The top-right corner comes to the top-left.
    EXPECT_EQ(anticlockwise.pixel(0, 0), kYellow);
    EXPECT_EQ(anticlockwise.pixel(0, 2), kRed);
    EXPECT_EQ(anticlockwise.pixel(1, 0), kGreen);

    const QImage clockwise = TurnClockwise(source);
    ASSERT_EQ(clockwise.size(), QSize(2, 3));
    // The top-left corner goes to the top-right.
    EXPECT_EQ(clockwise.pixel(1, 0), kRed);
    EXPECT_EQ(clockwise.pixel(1, 2), kYellow);
    EXPECT_EQ(clockwise.pixel(0, 2), kGreen);

    EXPECT_EQ(TurnClockwise(TurnAnticlockwise(source)), source);
}

TEST(Bitmaps, CopyScaledCopiesAndScalesWithoutSmoothing) {
    QImage source = BlackBitmap(4, 2);
    source.setPixel(1, 0, kRed);
    QImage target = BlackBitmap(8, 4);
    CopyScaled(source, QRect(0, 0, 4, 2), target, QRect(0, 0, 8, 4));
    // Nearest pixel: the red pixel becomes a 2 x 2 block and nothing is blended.
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 4 && y < 2;
            EXPECT_EQ(target.pixel(x, y), inside ? kRed : kBlack) << x << "," << y;
        }
    }

    // Same size: a straight copy, clipped to the target.
    QImage small = BlackBitmap(2, 2);
    CopyScaled(source, QRect(1, 0, 3, 2), small, QRect(0, 0, 3, 2));
    EXPECT_EQ(small.pixel(0, 0), kRed);
    EXPECT_EQ(small.pixel(1, 0), kBlack);

    // Empty rectangles copy nothing.
    QImage untouched = BlackBitmap(2, 2);
    CopyScaled(source, QRect(0, 0, 0, 2), untouched, QRect(0, 0, 2, 2));
    EXPECT_EQ(untouched, BlackBitmap(2, 2));
}

TEST(Bitmaps, ColoursOfScreenAndDialog) {
    EXPECT_EQ(ScreenTextColour(1), kRed);
    EXPECT_EQ(ScreenTextColour(2), kGreen);
    EXPECT_EQ(ScreenTextColour(3), kYellow);
    EXPECT_EQ(ScreenTextColour(0), kYellow);
    EXPECT_EQ(DialogTextColour(0), kRed);
    EXPECT_EQ(DialogTextColour(1), kGreen);
    EXPECT_EQ(DialogTextColour(7), kYellow);
}
