// The product rasteriser and the layout on the installed Chinese faces.
#include "RenderFakes.h"

#include "render/Bitmaps.h"
#include "render/FontCatalogue.h"
#include "render/QtRasteriser.h"
#include "render/TextLayout.h"
#include "render/TextRenderer.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const QString kSong = QStringLiteral("宋体");

FontParams FontOf(int cell, int width = 0, const QString& face = kSong) {
    return FontParams{face, cell, width, false, false};
}

QImage Drawn(QtRasteriser& rasteriser, const FontParams& fontParams, const QString& text,
             int spacing = 0, QSize size = QSize(200, 80)) {
    QImage image = BlackBitmap(size.width(), size.height());
    rasteriser.CreateFont(fontParams)->DrawText(image, 0, 0, text, kRed, spacing);
    return image;
}

} // namespace

TEST(Fonts, InstalledFacesListsTheChineseFacesWithoutVerticalVariants) {
    const QStringList faces = FontCatalogue::InstalledFaces();
    EXPECT_TRUE(faces.contains(QStringLiteral("AR PL UMing CN")));
    EXPECT_TRUE(faces.contains(QStringLiteral("WenQuanYi Zen Hei")));
    for (const QString& face : faces) {
        EXPECT_FALSE(face.startsWith(QLatin1Char('@'))) << face.toStdString();
    }
}

TEST(Fonts, StoredFaceNamesResolveToInstalledChineseFaces) {
    const QString song = QStringLiteral("AR PL UMing CN");
    EXPECT_EQ(FontCatalogue::ResolveFace(QStringLiteral("宋体")), song);
    EXPECT_EQ(FontCatalogue::ResolveFace(QStringLiteral("SimSun")), song);
    EXPECT_EQ(FontCatalogue::ResolveFace(QStringLiteral("simsun")), song);
    EXPECT_EQ(FontCatalogue::ResolveFace(QStringLiteral("No Such Face")), song);
    EXPECT_EQ(FontCatalogue::ResolveFace(QString()), song);
    EXPECT_EQ(FontCatalogue::ResolveFace(QStringLiteral("黑体")),
              QStringLiteral("WenQuanYi Zen Hei"));
    // An installed face is used as it is.
    EXPECT_EQ(FontCatalogue::ResolveFace(QStringLiteral("dejavu sans")),
              QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(FontCatalogue::ChineseFaces().first(), song);
    EXPECT_EQ(FontCatalogue::ChineseFaces(true).first(), QStringLiteral("WenQuanYi Zen Hei"));
}

TEST(Fonts, ChineseNeverComesOutAsBoxes) {
    QtRasteriser rasteriser;
    // Missing glyphs would all draw the same box; real glyphs differ.
    for (const QString& face : {kSong, QStringLiteral("黑体"), QStringLiteral("DejaVu Sans"),
                                QStringLiteral("Missing Face")}) {
        const QImage du = Drawn(rasteriser, FontOf(32, 0, face), QStringLiteral("杜"));
        const QImage lin = Drawn(rasteriser, FontOf(32, 0, face), QStringLiteral("林"));
        const QImage wu = Drawn(rasteriser, FontOf(32, 0, face), QStringLiteral("舞"));
        EXPECT_FALSE(IsAllBlack(du)) << face.toStdString();
        EXPECT_NE(du, lin) << face.toStdString();
        EXPECT_NE(lin, wu) << face.toStdString();
    }
}

TEST(QtRasteriserTest, CellHeightIsMetFromBelow) {
    QtRasteriser rasteriser;
    for (int cell = 6; cell <= 128; ++cell) {
        const int height = rasteriser.CreateFont(FontOf(cell))->TextHeight(QStringLiteral("杜"));
        EXPECT_LE(height, cell);
        // A face cannot meet every height; it never falls far short.
        EXPECT_GE(height, cell - 3) << cell;
    }
    // A 32-pixel line really is 32 pixels high.
    EXPECT_EQ(rasteriser.CreateFont(FontOf(32))->TextHeight(QString()), 32);
    // Bold and italic keep the cell.
    EXPECT_EQ(rasteriser.CreateFont(FontParams{kSong, 32, 0, true, true})->TextHeight(QString()),
              32);
}

TEST(QtRasteriserTest, AverageWidthStretchesTheFace) {
    QtRasteriser rasteriser;
    const auto natural = rasteriser.CreateFont(FontOf(32));
    const int full = natural->TextWidth(QStringLiteral("杜"));
    EXPECT_GE(full, 28);
    EXPECT_LE(full, 32);
    // A Chinese face's average width is its half-width cell.
    const auto narrow = rasteriser.CreateFont(FontOf(32, 8));
    EXPECT_NEAR(narrow->TextWidth(QStringLiteral("杜")), 16, 1);
    EXPECT_NEAR(narrow->TextWidth(QStringLiteral("abcd")), 32, 2);
    const auto wide = rasteriser.CreateFont(FontOf(32, 24));
    EXPECT_NEAR(wide->TextWidth(QStringLiteral("杜")), 48, 1);
    EXPECT_EQ(wide->TextHeight(QString()), 32);
    // The drawn glyph follows the width.
    EXPECT_LT(LitBounds(Drawn(rasteriser, FontOf(32, 8), QStringLiteral("杜"))).width(), 18);
    EXPECT_GT(LitBounds(Drawn(rasteriser, FontOf(32, 24), QStringLiteral("杜"))).width(), 36);
}

TEST(QtRasteriserTest, ExtraSpacingIsAddedAfterEveryCharacter) {
    QtRasteriser rasteriser;
    const auto font = rasteriser.CreateFont(FontOf(24));
    const QString text = QStringLiteral("舞台ab");
    const int plain = font->TextWidth(text);
    EXPECT_EQ(font->TextWidth(text, 5), plain + 4 * 5);
    EXPECT_EQ(font->TextWidth(text, -2), plain - 4 * 2);
    EXPECT_EQ(font->TextWidth(QString(), 5), 0);
    // Drawing spaces the characters the same way.
    const QRect tight = LitBounds(Drawn(rasteriser, FontOf(24), QStringLiteral("杜杜")));
    const QRect spaced = LitBounds(Drawn(rasteriser, FontOf(24), QStringLiteral("杜杜"), 10));
    EXPECT_EQ(spaced.width(), tight.width() + 10);
}

TEST(QtRasteriserTest, DrawsCrispPixelsInsideTheCellAtItsTopLeftCorner) {
    QtRasteriser rasteriser;
    for (const QString& face : {kSong, QStringLiteral("黑体")}) {
        for (bool bold : {false, true}) {
            const auto font = rasteriser.CreateFont(FontParams{face, 24, 0, bold, !bold});
            QImage image = BlackBitmap(120, 60);
            const QString text = QStringLiteral("舞台Ag");
            font->DrawText(image, 10, 7, text, kYellow);
            std::set<QRgb> colours;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    colours.insert(image.pixel(x, y));
                }
            }
            // No anti-aliasing: an LED pixel is on or off.
            EXPECT_EQ(colours, (std::set<QRgb>{kBlack, kYellow})) << face.toStdString();
            const QRect lit = LitBounds(image);
            const QRect cell(10, 7, font->TextWidth(text) + 2, font->TextHeight(text));
            EXPECT_TRUE(cell.contains(lit)) << face.toStdString() << " bold " << bold;
        }
    }
}

namespace {

// Fitting on the real faces: the chosen size passes the fit test and the next
// larger candidate fails it.
struct FitCase {
    const char* name;
    bool vertical;
    bool singleRow;
    SizeMode mode;
    int width;
    int height;
    const char16_t* row1;
    const char16_t* row2;
};

void PrintTo(const FitCase& c, std::ostream* os) {
    *os << c.name;
}

class RealFit : public ::testing::TestWithParam<FitCase> {
protected:
    int Width(int cell, int averageWidth, const QString& row) {
        return rasteriser.CreateFont(FontOf(cell, averageWidth))->TextWidth(row);
    }
    int Stack(const QString& row, int a, int b, int kind) {
        return MeasureStack(rasteriser, row, FontOf(0), a, b, kind);
    }
    QtRasteriser rasteriser;
};

} // namespace

TEST_P(RealFit, ChosenSizeFitsAndTheNextLargerDoesNot) {
    const FitCase& c = GetParam();
    LayoutRequest request;
    request.vertical = c.vertical;
    request.singleRow = c.singleRow;
    request.sizeMode = c.mode;
    request.frameWidth = c.width;
    request.frameHeight = c.height;
    request.face = kSong;
    request.align = 1;
    request.sizeWidth = 10;
    request.sizeHeight = 20;
    QString row1 = QString::fromUtf16(c.row1);
    QString row2 = QString::fromUtf16(c.row2);
    const LayoutResult result = LayOutText(rasteriser, request, row1, row2);
    ASSERT_TRUE(result.ok);
    const int wt = c.width;
    const int ht = c.height;
    const int cell = result.font.cellHeight;
    const int avg = result.font.averageWidth;
    QStringList rows{row1};
    if (!c.singleRow) {
        rows.append(row2);
    }
    if (c.vertical) {
        for (QString& row : rows) {
            row = ToFullWidth(row);
        }
    }

    // fits(size) for every row; the chosen size must fit all rows and the
    // next larger one must fail for at least one (unless at the top of the range).
    auto allFit = [&](auto fits) { return std::all_of(rows.begin(), rows.end(), fits); };
    const int rowHeight = (ht - 2) / 2;
    const int column = (wt - 2) / 2;
    if (c.mode == SizeMode::Fixed) {
        EXPECT_EQ(cell, 20);
        EXPECT_EQ(avg, 10);
        return;
    }
    if (!c.vertical) {
        if (c.mode == SizeMode::FitBoth) {
            const int top = c.singleRow ? ht : rowHeight;
            EXPECT_EQ(avg, 0);
            EXPECT_TRUE(allFit([&](const QString& r) { return Width(cell, 0, r) + 3 <= wt; }));
            EXPECT_LT(cell, top) << "the test rows should need shrinking";
            EXPECT_FALSE(allFit([&](const QString& r) { return Width(cell + 1, 0, r) + 3 <= wt; }));
        } else {
            const int h = c.singleRow ? ht : rowHeight;
            const int top = c.singleRow ? ht / 2 : (ht - 2) / 4;
            EXPECT_EQ(cell, h);
            EXPECT_TRUE(allFit([&](const QString& r) { return Width(h, avg, r) + 3 <= wt; }));
            EXPECT_LT(avg, top);
            EXPECT_FALSE(allFit([&](const QString& r) { return Width(h, avg + 1, r) + 3 <= wt; }));
        }
        // Nothing is cut off at the frame's right edge.
        const QRect lit = LitBounds(result.frame);
        EXPECT_LT(lit.right(), wt - 1);
        return;
    }
    const int top = c.singleRow ? wt + 4 : column + 2;
    const int a = c.mode == SizeMode::FitBoth ? 0 : (c.singleRow ? wt : column);
    const int kind = c.mode == SizeMode::FitBoth ? 1 : 2;
    EXPECT_TRUE(allFit([&](const QString& r) { return Stack(r, a, cell, kind) + 3 <= ht; }));
    EXPECT_LT(cell, top);
    EXPECT_FALSE(allFit([&](const QString& r) { return Stack(r, a, cell + 1, kind) + 3 <= ht; }));
    // The stack that was fitted is the stack that was drawn: nothing runs off
    // the bottom of the frame.
    const QRect lit = LitBounds(result.frame);
    EXPECT_LE(lit.bottom(), 3 + std::max(result.stack1, result.stack2) - 1);
    EXPECT_LT(lit.bottom(), ht - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RealFit,
    ::testing::Values(
        FitCase{"HorizontalSingleA", false, true, SizeMode::FitBoth, 256, 32,
                u"今晚的演出即将开始，请各位观众关闭手机铃声", u""},
        FitCase{"HorizontalSingleB", false, true, SizeMode::FitHeight, 256, 32,
                u"今晚的演出即将开始，请各位观众关闭手机铃声", u""},
        FitCase{"HorizontalSingleC", false, true, SizeMode::Fixed, 256, 32, u"舞台字幕", u""},
        FitCase{"HorizontalDoubleA", false, false, SizeMode::FitBoth, 192, 32, u"春眠不觉晓",
                u"处处闻啼鸟，夜来风雨声，花落知多少"},
        FitCase{"HorizontalDoubleB", false, false, SizeMode::FitHeight, 256, 64,
                u"春眠不觉晓，处处闻啼鸟，夜来风雨声", u"花落知多少"},
        FitCase{"HorizontalDoubleC", false, false, SizeMode::Fixed, 256, 64, u"春", u"眠"},
        FitCase{"VerticalSingleA", true, true, SizeMode::FitBoth, 32, 256,
                u"今晚的演出即将开始请关闭手机", u""},
        FitCase{"VerticalSingleB", true, true, SizeMode::FitHeight, 32, 256,
                u"今晚的演出即将开始请关闭手机", u""},
        FitCase{"VerticalShortA", true, true, SizeMode::FitBoth, 32, 160, u"Stage 1", u""},
        FitCase{"VerticalDoubleA", true, false, SizeMode::FitBoth, 48, 256, u"春眠不觉晓",
                u"处处闻啼鸟夜来风雨声花落知多少"},
        FitCase{"VerticalDoubleB", true, false, SizeMode::FitHeight, 48, 256,
                u"春眠不觉晓处处闻啼鸟夜来风雨声", u"花落"},
        FitCase{"VerticalDoubleC", true, false, SizeMode::Fixed, 48, 256, u"春", u"眠"}),
    [](const ::testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

namespace {

class RealRender : public ::testing::Test {
protected:
    RealRender() {
        for (ScreenId id : kAllScreens) {
            settings.screen(id).ScreenKind = true;
            settings.effect(id).AutoSize = 1;
        }
        renderer.SetFrameSink(&sink);
    }
    void Size(ScreenId id, int width, int height, int flash) {
        settings.screen(id).ScreenWidth = width;
        settings.screen(id).ScreenHeight = height;
        settings.screen(id).Flash = flash;
    }

    TSettings settings;
    QtRasteriser rasteriser;
    RecordingSink sink;
    TextRenderer renderer{settings, rasteriser};
};

const QString kLine = QStringLiteral("舞台字幕AB 1");

} // namespace

TEST_F(RealRender, ModeAFillsTheScreenHeightWithCrispCharacters) {
    renderer.RenderSubtitle(ScreenId::h, QStringLiteral("舞台字幕"), QString());
    const QImage& picture = renderer.renderBitmap(ScreenId::h);
    ASSERT_EQ(picture.size(), QSize(256, 32));
    const QRect lit = LitBounds(picture);
    // The cell is the whole height; the ink of these characters nearly fills it.
    EXPECT_GE(lit.height(), 27);
    EXPECT_GE(lit.top(), 0);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 256; ++x) {
            const QRgb pixel = picture.pixel(x, y);
            ASSERT_TRUE(pixel == kBlack || pixel == kRed) << x << "," << y;
        }
    }
}

TEST_F(RealRender, VerticalTextOnTheHorizontalScreenIsTheColumnTurnedAnticlockwise) {
    Size(ScreenId::h, 256, 32, 2);
    Size(ScreenId::s, 32, 256, 2);
    renderer.RenderSubtitle(ScreenId::h, kLine, QString());
    renderer.RenderSubtitle(ScreenId::s, kLine, QString());
    const QImage& turned = renderer.renderBitmap(ScreenId::h);
    const QImage& column = renderer.renderBitmap(ScreenId::s);
    ASSERT_EQ(turned.size(), QSize(256, 32));
    ASSERT_EQ(column.size(), QSize(32, 256));
    ASSERT_FALSE(IsAllBlack(column));
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 256; ++x) {
            ASSERT_EQ(turned.pixel(x, y), column.pixel(32 - 1 - y, x)) << x << "," << y;
        }
    }
    // The vertical screen's card gets its column turned the same way.
    ASSERT_EQ(sink.loads.size(), 2u);
    EXPECT_EQ(sink.loads[1].screen, ScreenId::s);
    EXPECT_EQ(sink.loads[1].frame, turned);
    // The small screen behaves as the horizontal one.
    Size(ScreenId::x, 256, 32, 2);
    renderer.RenderSubtitle(ScreenId::x, kLine, QString());
    EXPECT_EQ(renderer.renderBitmap(ScreenId::x), turned);
}

TEST_F(RealRender, HorizontalTextOnTheVerticalScreenIsTheRowTurnedClockwise) {
    Size(ScreenId::h, 256, 32, 1);
    Size(ScreenId::s, 32, 256, 1);
    renderer.RenderSubtitle(ScreenId::h, kLine, QString());
    renderer.RenderSubtitle(ScreenId::s, kLine, QString());
    const QImage& row = renderer.renderBitmap(ScreenId::h);
    const QImage& turned = renderer.renderBitmap(ScreenId::s);
    ASSERT_EQ(turned.size(), QSize(32, 256));
    ASSERT_FALSE(IsAllBlack(row));
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 32; ++x) {
            ASSERT_EQ(turned.pixel(x, y), row.pixel(y, 32 - 1 - x)) << x << "," << y;
        }
    }
    // Turned back for the card: the card shows the row as drawn.
    ASSERT_EQ(sink.loads.size(), 2u);
    EXPECT_EQ(sink.loads[1].frame, row);
}

TEST_F(RealRender, DoubleRowScreensShowTheNextLineBelow) {
    settings.effect(ScreenId::h).Row = 2;
    renderer.RenderSubtitle(ScreenId::h, QStringLiteral("第一行"), QStringLiteral("第二行"));
    const QImage& picture = renderer.renderBitmap(ScreenId::h);
    QImage top = picture.copy(0, 0, 256, 15);
    QImage bottom = picture.copy(0, 17, 256, 15);
    EXPECT_FALSE(IsAllBlack(top));
    EXPECT_FALSE(IsAllBlack(bottom));
    EXPECT_TRUE(IsAllBlack(picture.copy(0, 15, 256, 2))); // the row gap
}
