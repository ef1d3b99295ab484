#pragma once

#include "Rasteriser.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <map>
#include <tuple>

// The product's rasteriser on QtGui. A font's cell height is met by choosing
// the largest pixel size whose ascent plus descent does not exceed it (some
// heights cannot be met exactly by a face; the font then reports the height it
// really has, so layout and drawing agree). An average width is reached by
// stretching the face horizontally. Glyphs are drawn without anti-aliasing.
// Needs a QGuiApplication; called on the user-interface thread only.
class QtRasteriser final : public Rasteriser {
public:
    QtRasteriser();
    ~QtRasteriser() override;
    QtRasteriser(const QtRasteriser&) = delete;
    QtRasteriser& operator=(const QtRasteriser&) = delete;

    std::shared_ptr<const RasterFont> CreateFont(const FontParams& fontParams) override;

    // Upper bound of a cell height; larger requests are drawn at this height.
    static constexpr int kMaxCellHeight = 1024;

private:
    struct FaceMetrics {
        int pixelSize = 1;
        double naturalHalfWidth = 1.0;
    };
    using FontKey = std::tuple<QString, int, int, bool, bool>;
    using SizeKey = std::tuple<QString, int, bool, bool>;

    QString ResolvedFace(const QString& face);
    FaceMetrics MetricsForCell(const QString& family, int cellHeight, bool bold, bool italic);

    QStringList m_fallbackFaces;
    QHash<QString, QString> m_resolvedFaces;
    std::map<SizeKey, FaceMetrics> m_sizes;
    std::map<FontKey, std::shared_ptr<const RasterFont>> m_fonts;
};
