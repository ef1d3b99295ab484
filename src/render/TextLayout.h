#pragma once

#include "Rasteriser.h"

#include "core/ScreenId.h"

#include <QImage>
#include <QString>

// Lays one or two rows of text out into a text frame: the size fitting, the
// widening of scrolling frames, rows and columns, alignment and spacing. The
// frame is drawn in the text's own axes (Wt along the text, Ht across it for
// horizontal text; Wt across the column, Ht along it for vertical text);
// turning it into the screen's picture is the renderer's business.

// What is being rendered; the three differ in the details of fitting,
// spacing, scrolling and the length limit.
enum class RenderKind { Subtitle, TempText, Advert };

// The size rule of a screen's text: AutoSize 1 fits width and height (A),
// 2 fits the height and narrows the characters (B), anything else is the
// fixed size SizeWidth x SizeHeight (C).
enum class SizeMode { FitBoth, FitHeight, Fixed };
SizeMode SizeModeOf(int autoSize);

struct LayoutRequest {
    RenderKind kind = RenderKind::Subtitle;
    ScreenId screen = ScreenId::h; // chooses the advertisement's limit rule and messages
    int frameWidth = 0;            // Wt
    int frameHeight = 0;           // Ht
    bool vertical = false;         // characters stacked in columns
    bool singleRow = true;
    QString face;
    bool bold = false;
    bool italic = false;
    SizeMode sizeMode = SizeMode::Fixed;
    int sizeWidth = 24;  // mode C character width
    int sizeHeight = 24; // mode C character height; the advertisement's pixel height
    bool autoSpacing = false;
    int align = 1; // 1 left, 2 centre, other right
    int effect = 0;
    int screenStyle = 0; // 0 single colour: longer scrolling frames are allowed
    QRgb colour = 0xFFFF0000;
};

struct LayoutResult {
    bool ok = true;
    QString message; // when !ok: what the operator is told
    QImage frame;    // Wt x Ht, after any widening for scrolling
    FontParams font; // the layout font chosen
    int stack1 = 0;  // vertical layout: stack length of row 1 (S, S1)
    int stack2 = 0;  // vertical layout, double row: stack length of row 2
};

// The text shown when a scrolling subtitle or temporary line is too long.
inline const QString kLineTooLongMessage = QStringLiteral("此行字符过多，请减少一些重试！");
// The text shown when an advertisement is too long, per screen and layout.
QString AdvertTooLongMessage(ScreenId screen, bool vertical, bool singleRow);

// Lays out and draws. Fails only for a scrolling line beyond the length limit
// (and, for the advertisement, by the advertisement's limit rule); nothing is
// drawn then. Called on the user-interface thread only.
LayoutResult LayOutText(Rasteriser& rasteriser, const LayoutRequest& request, const QString& row1,
                        const QString& row2);

// How long a column of stacked characters is:
// kind 1: at cell height b and natural width, a two-byte character counts its
// text height and a one-byte character its advance width. For a face whose
// full-width characters are square this is the advance width of the whole
// text; for faces whose cell is taller than wide it is still the length the
// column takes when drawn, so a fitted column never runs off the screen.
// kinds 2 and 3: a two-byte character counts its text height at cell height b
// and width a / 2, a one-byte character (drawn lying on its side) its advance
// width at cell height a and width b / 2.
// style gives the face, bold and italic.
int MeasureStack(Rasteriser& rasteriser, const QString& text, const FontParams& style, int a, int b,
                 int kind);
