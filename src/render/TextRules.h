#pragma once

#include <QString>
#include <QStringList>

// Character rules of the layout. Rows are handled in their Unicode form; a
// character that GBK writes with two bytes (everything outside ASCII) counts
// as a two-byte, full-width character, one that GBK writes with one byte
// (ASCII) as a one-byte, half-width character.

// Layout constants.
inline constexpr int kFitMargin = 3;            // a text fits when length + 3 <= frame length
inline constexpr int kEdgeMargin = 3;           // start of left alignment, gap of right alignment
inline constexpr int kRowGap = 2;               // between two rows or two columns
inline constexpr int kScrollGranule = 8;        // scrolling frames are a multiple of this long
inline constexpr int kScrollLimitSingle = 1600; // longest scrolling frame, single colour
inline constexpr int kScrollLimitColour = 800;  // the same on dual and three colour screens
inline constexpr int kAnimationIntervalMs = 50;
// Its width centres stacked characters; its height is their step.
inline const QString kReferenceCharacter = QStringLiteral("杜");

// The characters of a row in order. A surrogate pair stays one character.
QStringList SplitCharacters(const QString& text);
// Whether a character (an item of SplitCharacters) takes two bytes in GBK.
bool IsTwoByteCharacter(const QString& character);
// Printable ASCII (U+0021..U+007E) to its full-width form (U+FF01..U+FF5E)
// and the space to the ideographic space U+3000; everything else is kept.
QString ToFullWidth(const QString& text);
// Empty, or only characters U+0000..U+0020: such a row draws nothing.
bool IsBlankRow(const QString& text);
// A scrolling frame length: rounded up to a multiple of the granule.
int RoundUpToGranule(int length);
// The longest scrolling frame on a screen of this colour kind.
int ScrollLengthLimit(int screenStyle);
