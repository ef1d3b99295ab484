#include "QtRasteriser.h"

#include "FontCatalogue.h"

#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Fonts are measured against the same kind of device they are drawn on.
const QImage& MeasuringDevice() {
    static const QImage device(1, 1, QImage::Format_RGB888);
    return device;
}

QFont BaseFont(const QString& family, const QStringList& fallbacks, int pixelSize, bool bold,
               bool italic) {
    QFont font;
    QStringList families{family};
    for (const QString& face : fallbacks) {
        if (face != family) {
            families.append(face);
        }
    }
    font.setFamilies(families);
    font.setPixelSize(std::max(1, pixelSize));
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    // LED pixels are on or off; kerning is off so a text is as wide as the sum
    // of its characters, as the layout's character arithmetic assumes.
    font.setStyleStrategy(QFont::NoAntialias);
    font.setKerning(false);
    return font;
}

int CellOf(const QFont& font) {
    const QFontMetrics metrics(font, &MeasuringDevice());
    return metrics.ascent() + metrics.descent();
}

class QtRasterFont final : public RasterFont {
public:
    QtRasterFont(const FontParams& fontParams, QFont font)
        : m_params(fontParams), m_font(std::move(font)), m_metrics(m_font, &MeasuringDevice()),
          m_cell(m_metrics.ascent() + m_metrics.descent()), m_ascent(m_metrics.ascent()) {}

    const FontParams& params() const override { return m_params; }

    int TextWidth(QStringView text, int extraSpacing) const override {
        if (text.isEmpty()) {
            return 0;
        }
        if (extraSpacing == 0) {
            return m_metrics.horizontalAdvance(text.toString());
        }
        const QFontMetrics spaced(Spaced(extraSpacing), &MeasuringDevice());
        return spaced.horizontalAdvance(text.toString());
    }

    int TextHeight(QStringView) const override { return m_cell; }

    void DrawText(QImage& target, int x, int y, QStringView text, QRgb colour,
                  int extraSpacing) const override {
        if (text.isEmpty() || target.isNull()) {
            return;
        }
        QPainter painter(&target);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setFont(extraSpacing == 0 ? m_font : Spaced(extraSpacing));
        painter.setPen(QColor(colour));
        painter.drawText(x, y + m_ascent, text.toString());
    }

private:
    QFont Spaced(int extraSpacing) const {
        QFont spaced = m_font;
        spaced.setLetterSpacing(QFont::AbsoluteSpacing, extraSpacing);
        return spaced;
    }

    FontParams m_params;
    QFont m_font;
    QFontMetrics m_metrics;
    int m_cell;
    int m_ascent;
};

// Fonts and sizes are cheap to keep but a long session could ask for many;
// the caches start over beyond this many entries.
constexpr size_t kCacheLimit = 2048;

} // namespace

QtRasteriser::QtRasteriser() : m_fallbackFaces(FontCatalogue::ChineseFaces()) {}

QtRasteriser::~QtRasteriser() = default;

QString QtRasteriser::ResolvedFace(const QString& face) {
    auto found = m_resolvedFaces.constFind(face);
    if (found != m_resolvedFaces.constEnd()) {
        return found.value();
    }
    const QString resolved = FontCatalogue::ResolveFace(face);
    m_resolvedFaces.insert(face, resolved);
    return resolved;
}

QtRasteriser::FaceMetrics QtRasteriser::MetricsForCell(const QString& family, int cellHeight,
                                                       bool bold, bool italic) {
    const SizeKey key{family, cellHeight, bold, italic};
    auto found = m_sizes.find(key);
    if (found != m_sizes.end()) {
        return found->second;
    }
    if (m_sizes.size() >= kCacheLimit) {
        m_sizes.clear();
    }
    auto cellAt = [&](int pixelSize) {
        return CellOf(BaseFont(family, m_fallbackFaces, pixelSize, bold, italic));
    };
    // The cell is a little taller than the pixel (em) size for most faces, so
    // the search starts at the cell height and walks to the largest size that fits.
    int pixelSize = cellHeight;
    while (pixelSize > 1 && cellAt(pixelSize) > cellHeight) {
        --pixelSize;
    }
    while (pixelSize < 2 * cellHeight + 8 && cellAt(pixelSize + 1) <= cellHeight) {
        ++pixelSize;
    }

    FaceMetrics metrics;
    metrics.pixelSize = pixelSize;
    const QFont base = BaseFont(family, m_fallbackFaces, pixelSize, bold, italic);
    const QFontMetricsF measure(base, &MeasuringDevice());
    // The average width of a Chinese face is its half-width cell (half of a
    // full-width character); for other faces it is the face's own average.
    const QChar reference(0x675C); // 杜
    if (measure.inFont(reference)) {
        metrics.naturalHalfWidth = measure.horizontalAdvance(reference) / 2.0;
    } else {
        metrics.naturalHalfWidth = measure.averageCharWidth();
    }
    metrics.naturalHalfWidth = std::max(metrics.naturalHalfWidth, 0.5);
    m_sizes.emplace(key, metrics);
    return metrics;
}

std::shared_ptr<const RasterFont> QtRasteriser::CreateFont(const FontParams& requested) {
    FontParams fontParams = requested;
    fontParams.cellHeight = std::clamp(fontParams.cellHeight, 1, kMaxCellHeight);
    fontParams.averageWidth = std::clamp(fontParams.averageWidth, 0, kMaxCellHeight);

    const FontKey key{fontParams.face, fontParams.cellHeight, fontParams.averageWidth,
                      fontParams.bold, fontParams.italic};
    auto found = m_fonts.find(key);
    if (found != m_fonts.end()) {
        return found->second;
    }
    if (m_fonts.size() >= kCacheLimit) {
        m_fonts.clear();
    }

    const QString family = ResolvedFace(fontParams.face);
    const FaceMetrics metrics =
        MetricsForCell(family, fontParams.cellHeight, fontParams.bold, fontParams.italic);
    QFont font =
        BaseFont(family, m_fallbackFaces, metrics.pixelSize, fontParams.bold, fontParams.italic);
    if (fontParams.averageWidth > 0) {
        const int stretch =
            std::clamp(static_cast<int>(
                           std::lround(100.0 * fontParams.averageWidth / metrics.naturalHalfWidth)),
                       1, 4000);
        if (stretch != 100) {
            font.setStretch(stretch);
        }
    }
    auto created = std::make_shared<QtRasterFont>(fontParams, std::move(font));
    m_fonts.emplace(key, created);
    return created;
}
