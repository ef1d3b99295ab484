#pragma once

#include "documents/SubtitleDocument.h"

#include "core/Settings.h"

#include <QList>
#include <QString>

// How the line list draws its rows, as data for the view: columns per document
// kind, row backgrounds and where each text goes.

inline constexpr int kLineListRowHeight = 24;
inline constexpr int kLineListFontPixels = 16;
inline constexpr int kLineListPadding = 4;

struct LineListColumn {
    QString caption;
    int width = 0;
    bool operator==(const LineListColumn&) const = default;
};

// Lyric documents, subtitle files and MP3 entries get the time column.
QList<LineListColumn> LineListColumns(DocumentKind kind, bool mp3Entry = false);

// Selected rows are one colour; the others alternate by the row key (the row
// index for lyrics and subtitle files, the source line for the other kinds, so all segments of
// one script line share a background).
Rgb LineListRowBackground(DocumentKind kind, qsizetype row, const LineItem& item, bool selected);

enum class TextAnchor { Left, Centre, Right };

// Horizontal placement of a row's texts, in pixels from the row's left edge.
struct LineListRowLayout {
    int numberX = 0;
    // The text area of the second column and how the text is anchored in it;
    // the text is clipped to [columnLeft, columnRight).
    int textLeft = 0;
    int textRight = 0;
    TextAnchor anchor = TextAnchor::Left;
    int columnLeft = 0;
    int columnRight = 0;
    // Lyric rows only: where the time tag starts; -1 when it is not drawn.
    int sourceX = -1;
};
LineListRowLayout LineListRowPlacement(const QList<LineListColumn>& columns, int align);
