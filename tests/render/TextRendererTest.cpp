// The render operations of the screens: guard, turning, hand-off to the link
// and the previews, temporary text and advertisement, on fixed metrics.
#include "RenderFakes.h"

#include "render/Bitmaps.h"
#include "render/TextRenderer.h"

#include <gtest/gtest.h>

namespace {

using Events = std::vector<std::string>;

class Renderer : public ::testing::Test {
protected:
    Renderer() {
        for (ScreenId id : kAllScreens) {
            settings.screen(id).ScreenKind = true;
            settings.effect(id).AutoSize = 3;
            settings.effect(id).SizeWidth = 12;
            settings.effect(id).SizeHeight = 24;
        }
        settings.screen(ScreenId::s).Flash = 2; // vertical text on the vertical screen
        renderer.SetFrameSink(&sink);
        renderer.SetPreviewHost(&host);
    }
    void Clear() {
        sink.loads.clear();
        sink.events.clear();
        host.events.clear();
        fake.draws.clear();
    }

    TSettings settings;
    FakeRasteriser fake;
    RecordingSink sink;
    RecordingHost host;
    TextRenderer renderer{settings, fake};
};

} // namespace

TEST_F(Renderer, EmptyRowsGiveABlackFrameThatIsSent) {
    const RenderOutcome outcome = renderer.RenderSubtitle(ScreenId::h, QString(), QString());
    EXPECT_EQ(outcome.status, RenderOutcome::Status::Rendered);
    EXPECT_EQ(renderer.renderBitmap(ScreenId::h).size(), QSize(256, 32));
    EXPECT_TRUE(IsAllBlack(renderer.renderBitmap(ScreenId::h)));
    EXPECT_EQ(renderer.previewImage(ScreenId::h).size(), QSize(256, 32));
    EXPECT_TRUE(IsAllBlack(renderer.previewImage(ScreenId::h)));
    EXPECT_EQ(host.events, (Events{"stop subtitle h", "stop advert h", "preview h"}));
    EXPECT_EQ(sink.events, (Events{"load h", "request h"}));
    ASSERT_EQ(sink.loads.size(), 1u);
    EXPECT_EQ(sink.loads[0].frame.size(), QSize(256, 32));
    EXPECT_EQ(sink.loads[0].frame.format(), QImage::Format_RGB888);
    EXPECT_TRUE(IsAllBlack(sink.loads[0].frame));
}

TEST_F(Renderer, AScreenNotInUseIsLeftAlone) {
    settings.screen(ScreenId::x).ScreenKind = false;
    const RenderOutcome outcome =
        renderer.RenderSubtitle(ScreenId::x, QStringLiteral("舞台"), QString());
    EXPECT_EQ(outcome.status, RenderOutcome::Status::NotInUse);
    EXPECT_TRUE(host.events.empty());
    EXPECT_TRUE(sink.events.empty());
    EXPECT_TRUE(renderer.renderBitmap(ScreenId::x).isNull());
    EXPECT_TRUE(fake.draws.empty());
}

TEST_F(Renderer, DrawsTheLineInTheScreenColourAndSendsIt) {
    settings.effect(ScreenId::h).Color = 2;
    settings.effect(ScreenId::h).Speed = 7;
    settings.effect(ScreenId::h).RollStay = 3;
    renderer.RenderSubtitle(ScreenId::h, QStringLiteral("舞台"), QString());
    ASSERT_EQ(fake.draws.size(), 1u);
    EXPECT_EQ(fake.draws[0].colour, kGreen);
    ASSERT_EQ(sink.loads.size(), 1u);
    EXPECT_EQ(sink.loads[0].effect, (FrameEffect{0, 7, 3}));
    EXPECT_EQ(sink.loads[0].frame, renderer.renderBitmap(ScreenId::h));
    EXPECT_EQ(renderer.previewImage(ScreenId::h), renderer.renderBitmap(ScreenId::h));
    EXPECT_FALSE(IsAllBlack(renderer.previewImage(ScreenId::h)));
}

TEST_F(Renderer, AFrameHandedToTheLinkNeverChangesAfterwards) {
    // The worker may still be encoding a frame when the next line is drawn.
    renderer.RenderSubtitle(ScreenId::h, QStringLiteral("第一"), QString());
    renderer.RenderSubtitle(ScreenId::s, QStringLiteral("第一"), QString());
    ASSERT_EQ(sink.loads.size(), 2u);
    const QImage h = sink.loads[0].frame;
    const QImage s = sink.loads[1].frame;
    const QImage hCopy = h.copy();
    const QImage sCopy = s.copy();

    settings.effect(ScreenId::h).Effect = 2;
    renderer.RenderSubtitle(ScreenId::h, QStringLiteral("第二行字"), QString());
    renderer.AnimatePreview(ScreenId::h, {2, 5, 0}, 0);
    renderer.RenderSubtitle(ScreenId::s, QStringLiteral("第二行字"), QString());
    EXPECT_EQ(h, hCopy);
    EXPECT_EQ(s, sCopy);
    EXPECT_NE(sink.loads[2].frame, hCopy);
}

TEST_F(Renderer, ATooLongScrollingLineChangesNothing) {
    settings.effect(ScreenId::h).Effect = 1;
    settings.effect(ScreenId::h).SizeWidth = 1;
    renderer.RenderSubtitle(ScreenId::h, QStringLiteral("舞台"), QString());
    const QImage before = renderer.renderBitmap(ScreenId::h);
    const QImage previewBefore = renderer.previewImage(ScreenId::h);
    Clear();

    const RenderOutcome outcome =
        renderer.RenderSubtitle(ScreenId::h, QString(1598, QLatin1Char('a')), QString());
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.message, QStringLiteral("此行字符过多，请减少一些重试！"));
    EXPECT_EQ(renderer.renderBitmap(ScreenId::h), before);
    EXPECT_EQ(renderer.previewImage(ScreenId::h), previewBefore);
    EXPECT_TRUE(sink.events.empty());
    // The timers were stopped and stay stopped.
    EXPECT_EQ(host.events, (Events{"stop subtitle h", "stop advert h"}));
    EXPECT_TRUE(fake.draws.empty());
}

TEST_F(Renderer, AnEffectStartsThePreviewAnimationAndSendsTheWholeLine) {
    settings.effect(ScreenId::h).Effect = 1;
    settings.effect(ScreenId::h).SizeWidth = 2;
    settings.effect(ScreenId::h).Speed = 4;
    settings.effect(ScreenId::h).RollStay = 2;
    // 150 characters 4 pixels wide.
    renderer.RenderSubtitle(ScreenId::h, QString(150, QChar(0x5B57)), QString());
    // 600 + 3 rounds to 608.
    EXPECT_EQ(renderer.renderBitmap(ScreenId::h).size(), QSize(608, 32));
    EXPECT_EQ(renderer.previewImage(ScreenId::h).size(), QSize(256, 32));
    EXPECT_TRUE(IsAllBlack(renderer.previewImage(ScreenId::h)));
    EXPECT_EQ(host.events,
              (Events{"stop subtitle h", "stop advert h", "preview h", "start subtitle h"}));
    ASSERT_EQ(sink.loads.size(), 1u);
    EXPECT_EQ(sink.loads[0].frame, renderer.renderBitmap(ScreenId::h));
    EXPECT_EQ(sink.loads[0].effect, (FrameEffect{1, 4, 2}));
    EXPECT_EQ(sink.events.back(), "request h");

    // The timer's ticks move the picture into the preview.
    AnimationStep step = renderer.AnimatePreview(ScreenId::h, {1, 4, 2}, 0);
    EXPECT_EQ(step.step, 4);
    EXPECT_TRUE(step.continues);
    EXPECT_FALSE(IsAllBlack(renderer.previewImage(ScreenId::h)));
    // The picture's first 4 columns at the right edge; its text starts at x = 3.
    EXPECT_EQ(LitBounds(renderer.previewImage(ScreenId::h)).left(), 255);
}

TEST_F(Renderer, AHiddenPreviewHandsNothingOn) {
    host.shown[ScreenIndex(ScreenId::h)] = false;
    renderer.RenderSubtitle(ScreenId::h, QStringLiteral("舞台"), QString());
    EXPECT_FALSE(renderer.renderBitmap(ScreenId::h).isNull());
    EXPECT_TRUE(sink.events.empty());
    EXPECT_EQ(host.events, (Events{"stop subtitle h", "stop advert h"}));
}

TEST_F(Renderer, HorizontalScreenWithVerticalTextIsTurnedAnticlockwise) {
    settings.screen(ScreenId::h).Flash = 2;
    renderer.RenderSubtitle(ScreenId::h, QStringLiteral("舞台字"), QString());
    const QImage& picture = renderer.renderBitmap(ScreenId::h);
    ASSERT_EQ(picture.size(), QSize(256, 32));
    // The frame is 32 wide and 256 tall; the first character stands at the
    // screen's left end, its top toward the left.
    ASSERT_EQ(fake.draws.size(), 3u);
    EXPECT_EQ(fake.draws[0].target, QSize(32, 256));
    const QRect lit = LitBounds(picture);
    EXPECT_EQ(lit.left(), 3); // the column starts 3 pixels down the frame
    EXPECT_EQ(lit.right(), 3 + 72 - 1);
    // The dark top-left pixel of the first character's box (frame (4, 3))
    // lands at (3, 31 - 4) after the turn.
    EXPECT_EQ(picture.pixel(3, 27), kBlack);
    EXPECT_EQ(picture.pixel(4, 27), kRed);
    // Card frame: the same picture, straight.
    ASSERT_EQ(sink.loads.size(), 1u);
    EXPECT_EQ(sink.loads[0].frame, picture);
}

TEST_F(Renderer, VerticalScreenHandsTheCardAFrameTurnedAnticlockwise) {
    renderer.RenderSubtitle(ScreenId::s, QStringLiteral("舞台字"), QString());
    const QImage& picture = renderer.renderBitmap(ScreenId::s);
    ASSERT_EQ(picture.size(), QSize(32, 256));
    ASSERT_EQ(sink.loads.size(), 1u);
    const QImage& card = sink.loads[0].frame;
    ASSERT_EQ(card.size(), QSize(256, 32));
    for (int y = 0; y < card.height(); ++y) {
        for (int x = 0; x < card.width(); ++x) {
            ASSERT_EQ(card.pixel(x, y), picture.pixel(32 - 1 - y, x)) << x << "," << y;
        }
    }
    EXPECT_FALSE(IsAllBlack(card));
}

TEST_F(Renderer, VerticalScreenWithHorizontalTextScrollsAlongTheCard) {
    settings.screen(ScreenId::s).Flash = 1;
    settings.effect(ScreenId::s).Effect = 1;
    settings.effect(ScreenId::s).SizeWidth = 2;
    renderer.RenderSubtitle(ScreenId::s, QString(100, QChar(0x5B57)), QString());
    // The horizontal frame is 256 (widened to 400 + 3 -> 408) by 32, turned clockwise.
    const QImage& picture = renderer.renderBitmap(ScreenId::s);
    ASSERT_EQ(picture.size(), QSize(32, 408));
    ASSERT_EQ(sink.loads.size(), 1u);
    const QImage& card = sink.loads[0].frame;
    ASSERT_EQ(card.size(), QSize(408, 32));
    // Turned back, the card's frame is the horizontal line again: the row
    // starts at x = 3 and is 24 high, centred in 32.
    const QRect lit = LitBounds(card);
    EXPECT_EQ(lit.left(), 3);
    EXPECT_EQ(lit.top(), 4);
    EXPECT_EQ(lit.bottom(), 27);
    EXPECT_EQ(card, TurnAnticlockwise(picture));
    EXPECT_EQ(renderer.previewImage(ScreenId::s).size(), QSize(32, 256));
}

TEST_F(Renderer, EachScreenReadsItsOwnSettingsAndRaisesItsOwnRequest) {
    settings.effect(ScreenId::x).Color = 3;
    renderer.RenderSubtitle(ScreenId::x, QStringLiteral("舞"), QString());
    EXPECT_EQ(sink.events, (Events{"load x", "request x"}));
    ASSERT_EQ(fake.draws.size(), 1u);
    EXPECT_EQ(fake.draws[0].colour, kYellow);
    EXPECT_TRUE(renderer.renderBitmap(ScreenId::h).isNull());
}

TEST_F(Renderer, TempTextIgnoresAutomaticSpacingAndUsesTheDialogColourWhenStraight) {
    settings.effect(ScreenId::h).Zjj = true;
    settings.effect(ScreenId::h).Color = 1;
    settings.Text.Align = 3;
    renderer.RenderTempText(ScreenId::h, QStringLiteral("临时"), QString(), 1);
    ASSERT_EQ(fake.draws.size(), 1u);
    EXPECT_EQ(fake.draws[0].x, 256 - 48 - 3);
    EXPECT_EQ(fake.draws[0].spacing, 0);
    EXPECT_EQ(fake.draws[0].colour, kGreen);
    // Only the subtitle timer is stopped; the frame is sent.
    EXPECT_EQ(host.events, (Events{"stop subtitle h", "preview h"}));
    EXPECT_EQ(sink.events, (Events{"load h", "request h"}));

    // Turned layout: the screen's own colour.
    Clear();
    settings.screen(ScreenId::h).Flash = 2;
    renderer.RenderTempText(ScreenId::h, QStringLiteral("临"), QString(), 1);
    ASSERT_FALSE(fake.draws.empty());
    EXPECT_EQ(fake.draws[0].colour, kRed);
}

TEST_F(Renderer, TempTextScrollsWithoutRoundingOrLimit) {
    settings.effect(ScreenId::h).Effect = 1;
    settings.effect(ScreenId::h).SizeWidth = 1;
    EXPECT_FALSE(renderer.RenderTempText(ScreenId::h, QString(2000, QLatin1Char('a')), QString(), 0)
                     .failed());
    EXPECT_EQ(renderer.renderBitmap(ScreenId::h).width(), 2003);
    EXPECT_EQ(host.events.back(), "start subtitle h");
}

TEST_F(Renderer, TempTextOnAVerticalColumnLaysLatinCharactersOnTheirSide) {
    // Screen s with vertical text, mode C 24 x 12: "ABC 1" stays half-width.
    renderer.RenderTempText(ScreenId::s, QStringLiteral("ABC 1"), QString(), 0);
    // Each one-byte character is drawn alone with the font 2 x 12 high and
    // 24 / 2 wide: a 12-pixel advance in a 24-pixel cell.
    ASSERT_EQ(fake.draws.size(), 5u);
    for (const FakeDraw& draw : fake.draws) {
        EXPECT_EQ(draw.font.cellHeight, 24);
        EXPECT_EQ(draw.font.averageWidth, 12);
        EXPECT_EQ(draw.target, QSize(12, 24)); // its own scratch picture
    }
    const QImage& picture = renderer.renderBitmap(ScreenId::s);
    // The characters run down the column from y = 3, 12 pixels each; the
    // turned cell is 24 wide at x = (32 - 24) / 2 + 1 = 5.
    const QRect lit = LitBounds(picture);
    EXPECT_EQ(lit.left(), 5);
    EXPECT_EQ(lit.right(), 5 + 24 - 1);
    EXPECT_EQ(lit.top(), 3);
    // The first character's box: its dark top-left corner turned clockwise to
    // the top-right, and the gap column (its right edge) at the bottom.
    EXPECT_EQ(picture.pixel(28, 3), kBlack);
    EXPECT_EQ(picture.pixel(27, 3), kRed);
    EXPECT_EQ(picture.pixel(5, 3), kRed);
    EXPECT_EQ(picture.pixel(10, 14), kBlack);
    EXPECT_EQ(picture.pixel(10, 13), kRed);
    // The space draws an empty cell; "1" is the fifth, from y = 3 + 48.
    EXPECT_EQ(picture.pixel(10, 3 + 36 + 5), kBlack);
    EXPECT_EQ(picture.pixel(10, 3 + 48 + 5), kRed);
}

TEST_F(Renderer, AdvertUsesTheDialogStyleAndLoadsWithoutSending) {
    AdvertStyle style;
    style.pointSize = 20;
    style.colourIndex = 1;
    style.effect = 0;
    style.speed = 9;
    style.pause = 4;
    renderer.RenderAdvert(ScreenId::h, QStringLiteral("欢迎"), QStringLiteral("光临"), style);
    ASSERT_EQ(fake.draws.size(), 1u); // single row: row 2 is not drawn
    // 20 points at 96 pixels per inch: 26.67, rounded to 27 pixels.
    EXPECT_EQ(fake.draws[0].font.cellHeight, 27);
    EXPECT_EQ(fake.draws[0].colour, kGreen);
    EXPECT_EQ(fake.draws[0].y, (32 - 27) / 2);
    EXPECT_EQ(sink.events, (Events{"load h"}));
    EXPECT_EQ(sink.loads[0].effect, (FrameEffect{0, 9, 4}));
    EXPECT_EQ(host.events, (Events{"stop subtitle h", "stop advert h", "preview h"}));

    Clear();
    style.singleRow = false;
    style.effect = 2;
    renderer.RenderAdvert(ScreenId::h, QStringLiteral("欢迎"), QStringLiteral("光临"), style);
    ASSERT_EQ(fake.draws.size(), 2u);
    EXPECT_EQ(fake.draws[0].y, (15 - 27) / 2);
    EXPECT_EQ(fake.draws[1].y, (15 - 27) / 2 + 17);
    EXPECT_EQ(host.events.back(), "start advert h");
    EXPECT_EQ(sink.events, (Events{"load h"}));
}

TEST_F(Renderer, AdvertSizes) {
    EXPECT_EQ(AdvertPixelHeight(20), 27);
    EXPECT_EQ(AdvertPixelHeight(8), 11);
    EXPECT_EQ(AdvertPixelHeight(12), 16);
    EXPECT_EQ(AdvertPixelHeight(50), 67);
    EXPECT_EQ(AdvertPointSize(QStringLiteral("36")), 36);
    EXPECT_EQ(AdvertPointSize(QStringLiteral("大")), 12);
    EXPECT_EQ(AdvertPointSize(QString()), 12);

    TAdSettings ad;
    ad.zit = 1;
    ad.dax = 12;
    ad.OneTwo = false;
    ad.yans = 2;
    const AdvertStyle style =
        AdvertStyleFromSettings(ad, {QStringLiteral("甲"), QStringLiteral("乙")});
    EXPECT_EQ(style.face, QStringLiteral("乙"));
    EXPECT_EQ(style.pointSize, 20);
    EXPECT_FALSE(style.singleRow);
    EXPECT_EQ(style.colourIndex, 2);
    EXPECT_EQ(style.effect, 1);
    EXPECT_EQ(style.speed, 8);
}

TEST_F(Renderer, AdvertOnAWideScreenHIsAlwaysRefused) {
    for (ScreenId id : {ScreenId::h, ScreenId::x}) {
        settings.screen(id).ScreenWidth = 2048;
        settings.screen(id).ScreenStyle = 0;
    }
    AdvertStyle style;
    style.effect = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const RenderOutcome outcome =
            renderer.RenderAdvert(ScreenId::h, QStringLiteral("欢迎"), QString(), style);
        EXPECT_TRUE(outcome.failed());
        EXPECT_EQ(outcome.message, QStringLiteral("字符过多，请减少一些重试！"));
    }
    EXPECT_TRUE(sink.events.empty());
    EXPECT_TRUE(renderer.renderBitmap(ScreenId::h).isNull());
    // The same advertisement on screen x renders.
    EXPECT_FALSE(
        renderer.RenderAdvert(ScreenId::x, QStringLiteral("欢迎"), QString(), style).failed());
    EXPECT_EQ(renderer.renderBitmap(ScreenId::x).size(), QSize(2048, 32));
}

TEST_F(Renderer, AdvertScrollLimit) {
    AdvertStyle style;
    style.pointSize = 6; // 8 pixels: full-width characters 8 wide
    style.effect = 1;
    // 199 characters: 1592 + 3 -> 1600 renders; 200: 1603 -> 1608 is refused.
    for (ScreenId id : {ScreenId::h, ScreenId::x}) {
        EXPECT_FALSE(renderer.RenderAdvert(id, QString(199, QChar(0x5B57)), {}, style).failed());
        EXPECT_EQ(renderer.renderBitmap(id).width(), 1600);
        EXPECT_TRUE(renderer.RenderAdvert(id, QString(200, QChar(0x5B57)), {}, style).failed());
    }
    const RenderOutcome x =
        renderer.RenderAdvert(ScreenId::x, QString(200, QChar(0x5B57)), {}, style);
    EXPECT_EQ(x.message, QStringLiteral("字符过多，请较少一些后重试"));
    // Not scrolling: screens s and x never compare.
    style.effect = 0;
    EXPECT_FALSE(
        renderer.RenderAdvert(ScreenId::x, QString(400, QChar(0x5B57)), {}, style).failed());
}

TEST_F(Renderer, AdvertOnAVerticalLayout) {
    AdvertStyle style;
    style.pointSize = 12; // 16 pixels
    style.effect = 1;
    settings.Text.Align = 1;
    renderer.RenderAdvert(ScreenId::s, QStringLiteral("欢迎光临"), QString(), style);
    // S = 4 x 16; scrolling rounds 67 up to 72, shorter than the screen.
    EXPECT_EQ(renderer.renderBitmap(ScreenId::s).size(), QSize(32, 256));
    ASSERT_EQ(fake.draws.size(), 4u);
    for (const FakeDraw& draw : fake.draws) {
        EXPECT_EQ(draw.font.cellHeight, 16);
        EXPECT_EQ(draw.font.averageWidth, 0);
    }
    const QRect lit = LitBounds(renderer.renderBitmap(ScreenId::s));
    EXPECT_EQ(lit.top(), 3);
    EXPECT_EQ(lit.bottom(), 3 + 64 - 1);
    EXPECT_EQ(lit.left(), (32 - 16) / 2);

    // Screen h turned to vertical text: the frame's length is the screen's
    // width and is checked on every single-row render.
    settings.screen(ScreenId::h).Flash = 2;
    settings.screen(ScreenId::h).ScreenWidth = 1608;
    style.effect = 0;
    const RenderOutcome outcome =
        renderer.RenderAdvert(ScreenId::h, QStringLiteral("欢迎"), QString(), style);
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(outcome.message, QStringLiteral("字符过多，请减少一些后重试"));
    // Double row: only when scrolling.
    style.singleRow = false;
    EXPECT_FALSE(
        renderer.RenderAdvert(ScreenId::h, QStringLiteral("欢迎"), QStringLiteral("光临"), style)
            .failed());
}

TEST_F(Renderer, OutOfRangeScreenSizesDoNotBreakRendering) {
    settings.screen(ScreenId::h).ScreenWidth = 0;
    settings.screen(ScreenId::h).ScreenHeight = -5;
    EXPECT_FALSE(renderer.RenderSubtitle(ScreenId::h, QStringLiteral("舞台"), QString()).failed());
    EXPECT_EQ(renderer.renderBitmap(ScreenId::h).size(), QSize(1, 1));
    settings.screen(ScreenId::x).ScreenWidth = 100000;
    settings.effect(ScreenId::x).SizeHeight = 0;
    EXPECT_FALSE(renderer.RenderSubtitle(ScreenId::x, QStringLiteral("舞台"), QString()).failed());
    EXPECT_EQ(renderer.renderBitmap(ScreenId::x).width(), TextRenderer::kMaxScreenSide);
}
