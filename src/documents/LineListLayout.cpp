#include "LineListLayout.h"

QList<LineListColumn> LineListColumns(DocumentKind kind, bool mp3Entry) {
    if (kind == DocumentKind::Surtitle) {
        return {{QStringLiteral("幕号"), 50},
                {QStringLiteral("字幕"), 480},
                {QStringLiteral("时间"), 100}};
    }
    if (kind == DocumentKind::Lyric || mp3Entry) {
        return {{QStringLiteral("幕号"), 50},
                {QStringLiteral("歌词"), 480},
                {QStringLiteral("时间"), 100}};
    }
    return {{QStringLiteral("幕号"), 50}, {QStringLiteral("内容"), 520}};
}

Rgb LineListRowBackground(DocumentKind kind, qsizetype row, const LineItem& item, bool selected) {
    if (selected) {
        return {204, 204, 153};
    }
    const qlonglong key = kind == DocumentKind::Lyric || kind == DocumentKind::Surtitle
                              ? row
                              : item.Source.toLongLong();
    return (key % 2 != 0) ? Rgb{234, 242, 242} : Rgb{253, 253, 253};
}

LineListRowLayout LineListRowPlacement(const QList<LineListColumn>& columns, int align) {
    LineListRowLayout layout;
    layout.numberX = kLineListPadding;
    const int firstWidth = columns.isEmpty() ? 0 : columns[0].width;
    const int secondWidth = columns.size() > 1 ? columns[1].width : 0;
    layout.columnLeft = firstWidth;
    layout.columnRight = firstWidth + secondWidth;
    layout.textLeft = firstWidth + kLineListPadding;
    layout.textRight = firstWidth + secondWidth - kLineListPadding;
    layout.anchor = align == 1   ? TextAnchor::Left
                    : align == 2 ? TextAnchor::Centre
                                 : TextAnchor::Right;
    if (columns.size() > 2) {
        layout.sourceX = layout.columnRight + kLineListPadding;
    }
    return layout;
}
