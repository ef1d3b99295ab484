#include "TextLayout.h"

#include "Bitmaps.h"
#include "TextRules.h"

#include <algorithm>
#include <optional>

SizeMode SizeModeOf(int autoSize) {
    switch (autoSize) {
    case 1:
        return SizeMode::FitBoth;
    case 2:
        return SizeMode::FitHeight;
    default:
        return SizeMode::Fixed;
    }
}

QString AdvertTooLongMessage(ScreenId screen, bool vertical, bool singleRow) {
    const QString reduceAgain = QStringLiteral("字符过多，请减少一些后重试");
    const QString lessAgain = QStringLiteral("字符过多，请较少一些后重试");
    if (screen == ScreenId::x && !(vertical && singleRow)) {
        return lessAgain;
    }
    if (screen == ScreenId::h && !vertical && singleRow) {
        return QStringLiteral("字符过多，请减少一些重试！");
    }
    return reduceAgain;
}

int MeasureStack(Rasteriser& rasteriser, const QString& text, const FontParams& style, int a, int b,
                 int kind) {
    auto font = [&](int cell, int width) {
        FontParams fontParams = style;
        fontParams.cellHeight = std::max(1, cell);
        fontParams.averageWidth = std::max(0, width);
        return rasteriser.CreateFont(fontParams);
    };
    const QStringList characters = SplitCharacters(text);
    int length = 0;
    if (kind == 1) {
        const auto natural = font(b, 0);
        for (const QString& character : characters) {
            length += IsTwoByteCharacter(character) ? natural->TextHeight(character)
                                                    : natural->TextWidth(character);
        }
        return length;
    }
    std::shared_ptr<const RasterFont> upright;
    std::shared_ptr<const RasterFont> lying;
    for (const QString& character : characters) {
        if (IsTwoByteCharacter(character)) {
            if (!upright) {
                upright = font(b, a / 2);
            }
            length += upright->TextHeight(character);
        } else {
            if (!lying) {
                lying = font(a, b / 2);
            }
            length += lying->TextWidth(character);
        }
    }
    return length;
}

namespace {

using FontPtr = std::shared_ptr<const RasterFont>;

class Layout {
public:
    Layout(Rasteriser& rasteriser, const LayoutRequest& request, QString row1, QString row2)
        : m_rasteriser(rasteriser), m_q(request), m_row1(std::move(row1)), m_row2(std::move(row2)),
          m_wt(std::max(1, request.frameWidth)), m_ht(std::max(1, request.frameHeight)) {
        m_style.face = request.face;
        m_style.bold = request.bold;
        m_style.italic = request.italic;
    }

    LayoutResult Run() {
        if (m_q.kind == RenderKind::Advert) {
            return m_q.vertical ? AdvertVertical() : AdvertHorizontal();
        }
        return m_q.vertical ? Vertical() : Horizontal();
    }

private:
    FontPtr Font(int cell, int width) const {
        FontParams fontParams = m_style;
        fontParams.cellHeight = std::max(1, cell);
        fontParams.averageWidth = std::max(0, width);
        return m_rasteriser.CreateFont(fontParams);
    }
    int Stack(const QString& row, int a, int b, int kind) const {
        return MeasureStack(m_rasteriser, row, m_style, a, b, kind);
    }
    int Limit() const { return ScrollLengthLimit(m_q.screenStyle); }
    bool Scrolling() const { return m_q.effect == 1; }
    bool FixedSize() const { return m_q.sizeMode == SizeMode::Fixed; }

    LayoutResult Failed(const QString& message) const {
        LayoutResult result;
        result.ok = false;
        result.message = message;
        return result;
    }
    LayoutResult Done(const FontPtr& font, int stack1 = 0, int stack2 = 0) {
        LayoutResult result;
        result.frame = std::move(m_frame);
        result.font = font->params();
        result.stack1 = stack1;
        result.stack2 = stack2;
        return result;
    }

    // Left edge of a horizontal row by alignment.
    int AlignedX(int textWidth) const {
        switch (m_q.align) {
        case 1:
            return kEdgeMargin;
        case 2:
            return (m_wt - textWidth) / 2;
        default:
            return m_wt - textWidth - kEdgeMargin;
        }
    }
    // Start of a column by alignment.
    int AlignedY(int stack) const {
        switch (m_q.align) {
        case 1:
            return kEdgeMargin;
        case 2:
            return (m_ht - stack) / 2;
        default:
            return m_ht - stack - kEdgeMargin;
        }
    }

    // The first size from `from` down to 1 whose width fits the frame.
    template <typename MakeFont>
    std::optional<int> FirstFitting(int from, const QString& row, MakeFont makeFont) const {
        for (int size = from; size >= 1; --size) {
            if (makeFont(size)->TextWidth(row) + kFitMargin <= m_wt) {
                return size;
            }
        }
        return std::nullopt;
    }
    // The first cell height from `from` down to 1 whose stack fits the frame.
    std::optional<int> FirstFittingStack(int from, const QString& row, int a, int kind) const {
        for (int cell = from; cell >= 1; --cell) {
            if (Stack(row, a, cell, kind) + kFitMargin <= m_ht) {
                return cell;
            }
        }
        return std::nullopt;
    }

    // Draws one horizontal row; automatic spacing only for subtitles.
    void DrawRow(const FontPtr& font, const QString& row, int y) {
        if (IsBlankRow(row)) {
            return;
        }
        const int textWidth = font->TextWidth(row);
        if (m_q.kind == RenderKind::Subtitle && m_q.autoSpacing) {
            // Equal gaps before, between and after the characters; a text
            // wider than the frame gets a negative gap and overlaps.
            const int gap = (m_wt - textWidth) / (static_cast<int>(row.size()) + 1);
            font->DrawText(m_frame, gap, y, row, m_q.colour, gap);
            return;
        }
        font->DrawText(m_frame, AlignedX(textWidth), y, row, m_q.colour);
    }

    LayoutResult Horizontal() {
        const bool single = m_q.singleRow;
        const int rowHeight = (m_ht - kRowGap) / 2;
        FontPtr font;
        switch (m_q.sizeMode) {
        case SizeMode::FitBoth: {
            if (single) {
                font = Font(
                    FirstFitting(m_ht, m_row1, [&](int h) { return Font(h, 0); }).value_or(1), 0);
            } else {
                const int h1 =
                    FirstFitting(rowHeight, m_row1, [&](int h) { return Font(h, 0); }).value_or(1);
                const int h2 =
                    FirstFitting(rowHeight, m_row2, [&](int h) { return Font(h, 0); }).value_or(1);
                font = Font(std::min(h1, h2), 0);
            }
            break;
        }
        case SizeMode::FitHeight: {
            if (single) {
                const int w = FirstFitting(m_ht / 2, m_row1, [&](int width) {
                                  return Font(m_ht, width);
                              }).value_or(1);
                font = Font(m_ht, w);
            } else {
                auto fit = [&](const QString& row) {
                    return FirstFitting((m_ht - kRowGap) / 4, row,
                                        [&](int width) { return Font(rowHeight, width); })
                        .value_or(1);
                };
                font = Font(rowHeight, std::min(fit(m_row1), fit(m_row2)));
            }
            break;
        }
        case SizeMode::Fixed:
            font = Font(m_q.sizeHeight, m_q.sizeWidth);
            break;
        }

        if (FixedSize() && Scrolling()) {
            int needed = font->TextWidth(m_row1);
            if (!single) {
                needed = std::max(needed, font->TextWidth(m_row2));
            }
            needed += kFitMargin;
            if (m_q.kind == RenderKind::Subtitle) {
                needed = RoundUpToGranule(needed);
                if (needed > Limit()) {
                    return Failed(kLineTooLongMessage);
                }
            }
            m_wt = std::max(m_wt, needed);
        }

        m_frame = BlackBitmap(m_wt, m_ht);
        const int cell = font->TextHeight(kReferenceCharacter);
        if (single) {
            DrawRow(font, m_row1, (m_ht - cell) / 2);
        } else {
            const int y = (rowHeight - cell) / 2;
            DrawRow(font, m_row1, y);
            DrawRow(font, m_row2, y + rowHeight + kRowGap);
        }
        return Done(font);
    }

    // Subtitle columns: the layout font's characters, one under the other.
    void DrawColumn(const FontPtr& font, const QString& row, int stack, int columnLeft,
                    int columnWidth) {
        if (IsBlankRow(row)) {
            return;
        }
        int y = AlignedY(stack);
        int gap = 0;
        if (m_q.autoSpacing) {
            gap = std::max(0, (m_ht - stack) / (static_cast<int>(row.size()) + 1));
            y = gap;
        }
        const int width = font->TextWidth(kReferenceCharacter);
        const int step = font->TextHeight(kReferenceCharacter);
        const int x = columnLeft + (columnWidth - width) / 2;
        for (const QString& character : SplitCharacters(row)) {
            font->DrawText(m_frame, x, y, character, m_q.colour);
            y += step + gap;
        }
    }

    LayoutResult Vertical() {
        const bool subtitle = m_q.kind == RenderKind::Subtitle;
        if (subtitle) {
            // Every printable character takes a full-width cell of the column.
            m_row1 = ToFullWidth(m_row1);
            m_row2 = ToFullWidth(m_row2);
        }
        // Subtitles may try cells a little wider than the column.
        const int excessSingle = subtitle ? 4 : 0;
        const int excessDouble = subtitle ? 2 : 0;
        const int columnWidth = (m_wt - kRowGap) / 2; // c0
        FontPtr font;
        int s1 = 0;
        int s2 = 0;
        int fixedA = 0; // the `a` of the fixed size's stack measure
        if (m_q.singleRow) {
            switch (m_q.sizeMode) {
            case SizeMode::FitBoth: {
                const int c = FirstFittingStack(m_wt + excessSingle, m_row1, 0, 1).value_or(m_wt);
                font = Font(c, 0);
                s1 = Stack(m_row1, 0, c, 1);
                break;
            }
            case SizeMode::FitHeight: {
                const int c =
                    FirstFittingStack(m_wt + excessSingle, m_row1, m_wt, 2).value_or(m_wt);
                font = Font(c, m_wt / 2);
                s1 = Stack(m_row1, m_wt, c, 2);
                break;
            }
            case SizeMode::Fixed:
                fixedA = 2 * m_q.sizeWidth;
                font = Font(m_q.sizeHeight, m_q.sizeWidth);
                s1 = Stack(m_row1, fixedA, m_q.sizeHeight, 3);
                break;
            }
        } else {
            switch (m_q.sizeMode) {
            case SizeMode::FitBoth: {
                const int from = columnWidth + excessDouble;
                const int c = std::min(FirstFittingStack(from, m_row1, 0, 1).value_or(columnWidth),
                                       FirstFittingStack(from, m_row2, 0, 1).value_or(columnWidth));
                font = Font(c, 0);
                s1 = Stack(m_row1, 0, c, 1);
                s2 = Stack(m_row2, 0, c, 1);
                break;
            }
            case SizeMode::FitHeight: {
                const int from = columnWidth + excessDouble;
                const int c =
                    std::min(FirstFittingStack(from, m_row1, columnWidth, 2).value_or(columnWidth),
                             FirstFittingStack(from, m_row2, columnWidth, 2).value_or(columnWidth));
                font = Font(c, columnWidth / 2);
                s1 = Stack(m_row1, columnWidth / 2, c, 2);
                s2 = Stack(m_row2, columnWidth / 2, c, 2);
                break;
            }
            case SizeMode::Fixed:
                fixedA = 2 * m_q.sizeWidth;
                font = Font(m_q.sizeHeight, m_q.sizeWidth);
                s1 = Stack(m_row1, fixedA, m_q.sizeHeight, 3);
                s2 = Stack(m_row2, fixedA, m_q.sizeHeight, 3);
                break;
            }
        }

        if (FixedSize() && Scrolling()) {
            int needed = (m_q.singleRow ? s1 : std::max(s1, s2)) + kFitMargin;
            if (subtitle) {
                needed = RoundUpToGranule(needed);
                if (needed > Limit()) {
                    return Failed(kLineTooLongMessage);
                }
            }
            m_ht = std::max(m_ht, needed);
        }

        m_frame = BlackBitmap(m_wt, m_ht);
        if (subtitle) {
            if (m_q.singleRow) {
                DrawColumn(font, m_row1, s1, 0, m_wt);
            } else {
                DrawColumn(font, m_row1, s1, columnWidth + kRowGap, columnWidth);
                DrawColumn(font, m_row2, s2, 0, columnWidth);
            }
        } else {
            DrawCharacterColumns(font, s1, s2);
        }
        return Done(font, s1, s2);
    }

    // Temporary text and advertisement columns: each character is drawn on
    // its own and copied in, two-byte characters upright and one-byte
    // characters lying on their side (tops to the right).
    void DrawCharacterColumns(const FontPtr& layoutFont, int s1, int s2) {
        const int columnWidth = (m_wt - kRowGap) / 2;
        if (m_q.singleRow) {
            DrawCharacters(layoutFont, m_row1, s1, 0, m_wt);
        } else {
            DrawCharacters(layoutFont, m_row1, s1, columnWidth + kRowGap, columnWidth);
            DrawCharacters(layoutFont, m_row2, s2, 0, columnWidth);
        }
    }

    void DrawCharacters(const FontPtr& layoutFont, const QString& row, int stack, int columnLeft,
                        int columnWidth) {
        if (IsBlankRow(row)) {
            return;
        }
        const int c = layoutFont->params().cellHeight;
        const int w = layoutFont->params().averageWidth;
        FontPtr upright;
        FontPtr lying;
        if (m_q.kind == RenderKind::Advert) {
            upright = layoutFont;
            lying = layoutFont;
        } else {
            upright = Font(c, w);
            lying = m_q.sizeMode == SizeMode::FitBoth ? Font(c, 0) : Font(2 * w, c / 2);
        }
        int y = AlignedY(stack);
        for (const QString& character : SplitCharacters(row)) {
            const bool twoByte = IsTwoByteCharacter(character);
            const FontPtr& font = twoByte ? upright : lying;
            const int cw = font->TextWidth(character);
            const int ch = font->TextHeight(character);
            QImage scratch = BlackBitmap(cw, ch);
            if (!scratch.isNull()) {
                font->DrawText(scratch, 0, 0, character, m_q.colour);
            }
            if (twoByte) {
                const int x = columnLeft + (columnWidth - cw) / 2;
                CopyScaled(scratch, scratch.rect(), m_frame, QRect(x, y, cw, ch));
                y += ch;
            } else {
                const int xo = columnLeft + (columnWidth - ch) / 2 + 1;
                PutLying(scratch, xo, y);
                y += cw;
            }
        }
    }

    // scratch (i, j) goes to frame (xo + height - 1 - j, y + i).
    void PutLying(const QImage& scratch, int xo, int y) {
        if (scratch.isNull()) {
            return;
        }
        const int h = scratch.height();
        for (int j = 0; j < h; ++j) {
            const uchar* in = scratch.constScanLine(j);
            const int fx = xo + h - 1 - j;
            if (fx < 0 || fx >= m_frame.width()) {
                continue;
            }
            for (int i = 0; i < scratch.width(); ++i) {
                const int fy = y + i;
                if (fy < 0 || fy >= m_frame.height()) {
                    continue;
                }
                uchar* out = m_frame.scanLine(fy) + fx * 3;
                out[0] = in[i * 3];
                out[1] = in[i * 3 + 1];
                out[2] = in[i * 3 + 2];
            }
        }
    }

    // The advertisement's limit: screen h always compares its frame (so a
    // frame beyond the limit never takes an advertisement), the others only
    // the length of a scrolling frame.
    bool AdvertTooLong(int frameLength, int scrollLength, bool hAlwaysChecks) const {
        if (m_q.screen == ScreenId::h && (hAlwaysChecks || Scrolling())) {
            return frameLength > Limit();
        }
        return Scrolling() && scrollLength > Limit();
    }

    LayoutResult AdvertHorizontal() {
        const bool single = m_q.singleRow;
        const FontPtr font = Font(m_q.sizeHeight, 0);
        int scrollLength = 0;
        if (Scrolling()) {
            int widest = font->TextWidth(m_row1);
            if (!single) {
                widest = std::max(widest, font->TextWidth(m_row2));
            }
            scrollLength = RoundUpToGranule(widest + kFitMargin);
            m_wt = std::max(m_wt, scrollLength);
        }
        if (AdvertTooLong(m_wt, scrollLength, true)) {
            return Failed(AdvertTooLongMessage(m_q.screen, false, single));
        }
        m_frame = BlackBitmap(m_wt, m_ht);
        const int cell = font->TextHeight(kReferenceCharacter);
        if (single) {
            DrawRow(font, m_row1, (m_ht - cell) / 2);
        } else {
            const int rowHeight = (m_ht - kRowGap) / 2;
            const int y = (rowHeight - cell) / 2;
            DrawRow(font, m_row1, y);
            DrawRow(font, m_row2, y + rowHeight + kRowGap);
        }
        return Done(font);
    }

    LayoutResult AdvertVertical() {
        const bool single = m_q.singleRow;
        const int pixelHeight = m_q.sizeHeight;
        const FontPtr font = Font(pixelHeight, 0);
        const int s1 = Stack(m_row1, pixelHeight, pixelHeight, 3);
        const int s2 = single ? 0 : Stack(m_row2, pixelHeight, pixelHeight, 3);
        int scrollLength = 0;
        if (Scrolling()) {
            scrollLength = RoundUpToGranule((single ? s1 : std::max(s1, s2)) + kFitMargin);
            m_ht = std::max(m_ht, scrollLength);
        }
        if (AdvertTooLong(m_ht, scrollLength, single)) {
            return Failed(AdvertTooLongMessage(m_q.screen, true, single));
        }
        m_frame = BlackBitmap(m_wt, m_ht);
        DrawCharacterColumns(font, s1, s2);
        return Done(font, s1, s2);
    }

    Rasteriser& m_rasteriser;
    const LayoutRequest& m_q;
    QString m_row1;
    QString m_row2;
    int m_wt;
    int m_ht;
    FontParams m_style;
    QImage m_frame;
};

} // namespace

LayoutResult LayOutText(Rasteriser& rasteriser, const LayoutRequest& request, const QString& row1,
                        const QString& row2) {
    return Layout(rasteriser, request, row1, row2).Run();
}
