#pragma once

#include "documents/SubtitleDocument.h"

#include "core/Settings.h"

// How a script's lines become the rows of the line list, and the time tags of
// lyric lines.

// Plain text and projects: one item per line, or with automatic paragraphing
// segments of at most 2 x ParaLen GBK bytes that never split a character.
LineList BuildSegmentedList(const QStringList& lines, const TTextCommon& text);
// Lyrics: one item per line that is untagged or starts with a time tag; the
// first time tag becomes Source, and the text is shown without its leading
// time tags and word time tags (see ParseLyricLine in LyricTimeline.h).
LineList BuildLyricList(const QStringList& lines);

// The document line that gives lyric row `item` (as BuildLyricList counts
// rows), -1 when there is no such row. Rows and lines part wherever a line
// gives no row (an empty line, a header tag), so a row's line is found by
// counting, never taken to be the line of the same index.
qsizetype LyricLineOfItem(const QStringList& lines, qsizetype item);

// Lines of a lyric file that are kept: trimmed, non-empty, and either untagged
// or starting with a time tag ("[ti:...]" and the like are dropped). An
// "[offset:...]" line is kept too, moved after all the others, so that every
// other kept line is still the row of the same index in BuildLyricList.
QStringList ApplyLyricFilter(const QStringList& fileLines);

// Whole seconds of a tag such as "[01:23.45]" or "[1:02:03]"; the fraction is
// ignored and a field that is not a number counts as 0.
int TagSeconds(const QString& tag);
// The last field of a tag (its seconds), 0 when it is not a number.
int TagSecondsField(const QString& tag);
// "[mm:ss.00]" for a time in whole seconds; minutes may take three or more digits.
QString FormatTimeTag(int seconds);
