#pragma once

#include <QImage>
#include <QString>
#include <QStringView>

#include <memory>

// The text rasteriser the layout draws with. The layout only asks for what it
// needs (a font by face, cell height, average width, weight and slant; text
// width and height; extra character spacing; drawing in a colour), so its
// arithmetic can be checked with a fake of fixed metrics and the product can
// stand on any library that offers the same operations.

struct FontParams {
    QString face;
    // Full height of the character cell in pixels (ascent plus descent, not the
    // em size): a line of this height fills that many pixel rows.
    int cellHeight = 0;
    // Average character width in pixels, that is the width of a half-width
    // character (a full-width character is twice as wide); 0 = the face's
    // natural width for the cell height.
    int averageWidth = 0;
    bool bold = false; // weight 700, else the face's normal weight
    bool italic = false;

    bool operator==(const FontParams&) const = default;
};

// One created font. Widths include the extra spacing, which is added after
// every character (every UTF-16 unit that starts a character), the last one
// included, both when measuring and when drawing.
class RasterFont {
public:
    virtual ~RasterFont() = default;

    virtual const FontParams& params() const = 0;
    // Advance width of the text.
    virtual int TextWidth(QStringView text, int extraSpacing = 0) const = 0;
    // Height of the text's cell; the same for every text of the font.
    virtual int TextHeight(QStringView text) const = 0;
    // Draws the text with its cell's top-left corner at (x, y) in the colour on
    // whatever the image holds (the layout always draws on black). Pixels are
    // either the colour or left alone: no anti-aliasing, since an LED is on or off.
    virtual void DrawText(QImage& target, int x, int y, QStringView text, QRgb colour,
                          int extraSpacing = 0) const = 0;
};

// Creates fonts. Implementations may hand out the same font object for equal
// parameters. Called on the user-interface thread only.
class Rasteriser {
public:
    virtual ~Rasteriser() = default;
    virtual std::shared_ptr<const RasterFont> CreateFont(const FontParams& fontParams) = 0;
};
