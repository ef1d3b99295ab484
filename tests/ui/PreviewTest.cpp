// The previews' effect animation through its timers, stepped by hand, and the
// floating preview windows.
#include "ControllerFakes.h"

#include "ui/PreviewAnimator.h"
#include "ui/PreviewForm.h"

#include "core/Settings.h"
#include "render/Bitmaps.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"
#include "support/Pictures.h"
#include "support/TempDir.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Renders through the real renderer; the animator's timers are fired by hand.
class AnimationRig : public PreviewHost {
public:
    AnimationRig() : renderer(settings.ActiveSettings, rasteriser) {
        animator = std::make_unique<PreviewAnimator>(
            renderer, settings,
            [this] {
                auto timer = std::make_unique<ManualTimer>();
                timers.push_back(timer.get());
                return timer;
            },
            [this](ScreenId) { ++repaints; });
        renderer.SetPreviewHost(this);
    }
    void StopEffectTimer(ScreenId screen, EffectTimer timer) override {
        animator->Stop(screen, timer);
    }
    void StartEffectTimer(ScreenId screen, EffectTimer timer) override {
        animator->Start(screen, timer);
    }
    bool IsPreviewShown(ScreenId) const override { return true; }
    void PreviewChanged(ScreenId) override {}

    void Screen(ScreenId id, int width, int height, int effect, int speed, int pause) {
        TScreenParams& p = settings.ActiveSettings.screen(id);
        p.ScreenKind = true;
        p.ScreenWidth = width;
        p.ScreenHeight = height;
        TTextEffect& e = settings.ActiveSettings.effect(id);
        e.Effect = effect;
        e.Speed = speed;
        e.RollStay = pause;
        e.AutoSize = 3; // a fixed size, so a long text runs past the screen
        e.SizeHeight = height >= width ? 24 : std::min(24, height);
        e.SizeWidth = e.SizeHeight;
    }
    ManualTimer& timer(ScreenId id) {
        return static_cast<ManualTimer&>(animator->timer(id, EffectTimer::Subtitle));
    }
    const QImage& preview(ScreenId id) { return renderer.previewImage(id); }
    const QImage& picture(ScreenId id) { return renderer.renderBitmap(id); }

    SettingsStore settings;
    QtRasteriser rasteriser;
    TextRenderer renderer;
    std::unique_ptr<PreviewAnimator> animator;
    std::vector<ManualTimer*> timers;
    int repaints = 0;
};

QImage Crop(const QImage& image, QRect rect) {
    return image.copy(rect).convertToFormat(QImage::Format_RGB888);
}

bool AllBlack(const QImage& image) {
    return LitBounds(image).isNull();
}

} // namespace

TEST(PreviewAnimation, MoveUpCompletesOnTheEleventhTickAndMatchesTheStepRules) {
    AnimationRig rig;
    rig.Screen(ScreenId::h, 256, 32, 2, 3, 0);
    ASSERT_FALSE(
        rig.renderer.RenderSubtitle(ScreenId::h, QStringLiteral("上移字幕测试"), {}).failed());
    ManualTimer& timer = rig.timer(ScreenId::h);
    ASSERT_TRUE(timer.IsActive());
    EXPECT_EQ(timer.interval, 50);
    EXPECT_TRUE(AllBlack(rig.preview(ScreenId::h)));

    // The same steps computed apart from the timers.
    QImage expected = BlackBitmap(256, 32);
    int step = 0;
    for (int tick = 1; tick <= 11; ++tick) {
        ASSERT_TRUE(timer.Fire()) << tick;
        const AnimationStep next =
            EffectAnimationStep(AnimationAxes::Horizontal, {2, 3, 0}, step, QSize(256, 32),
                                rig.picture(ScreenId::h).size());
        ApplyAnimationStep(next, rig.picture(ScreenId::h), expected);
        step = next.step;
        EXPECT_EQ(rig.preview(ScreenId::h), expected) << "tick " << tick;
        if (tick == 1) {
            // The top three rows of the text at the bottom of the preview.
            EXPECT_EQ(Crop(rig.preview(ScreenId::h), QRect(0, 29, 256, 3)),
                      Crop(rig.picture(ScreenId::h), QRect(0, 0, 256, 3)));
            EXPECT_TRUE(AllBlack(Crop(rig.preview(ScreenId::h), QRect(0, 0, 256, 29))));
        }
        EXPECT_EQ(timer.IsActive(), tick < 11) << "tick " << tick;
    }
    EXPECT_EQ(rig.animator->Step(ScreenId::h, EffectTimer::Subtitle), 32);
    EXPECT_EQ(rig.preview(ScreenId::h), Crop(rig.picture(ScreenId::h), QRect(0, 0, 256, 32)));
    EXPECT_EQ(rig.repaints, 11);
}

TEST(PreviewAnimation, ALongScrollHoldsAtTheLeftEdgeForItsPauseAndStartsAgainAfterTheTail) {
    AnimationRig rig;
    rig.Screen(ScreenId::h, 256, 32, 1, 4, 2);
    ASSERT_FALSE(rig.renderer
                     .RenderSubtitle(
                         ScreenId::h,
                         QStringLiteral("这是一行很长很长的滚动字幕，比屏幕宽得多，一直向左移动"),
                         {})
                     .failed());
    const int bw = rig.picture(ScreenId::h).width();
    ASSERT_GT(bw, 256);
    ManualTimer& timer = rig.timer(ScreenId::h);
    int pauses = 0;
    bool restarted = false;
    for (int tick = 0; tick < 2000 && !restarted; ++tick) {
        ASSERT_TRUE(timer.Fire());
        const int t = rig.animator->Step(ScreenId::h, EffectTimer::Subtitle);
        if (timer.interval == 2000) {
            ++pauses;
            EXPECT_EQ(t, 256);
            // The text's start stands at the left edge while it holds.
            EXPECT_EQ(rig.preview(ScreenId::h),
                      Crop(rig.picture(ScreenId::h), QRect(0, 0, 256, 32)));
        } else {
            EXPECT_EQ(timer.interval, 50);
        }
        restarted = t == 0;
        EXPECT_TRUE(timer.IsActive());
    }
    EXPECT_TRUE(restarted);
    EXPECT_EQ(pauses, 1);
}

TEST(PreviewAnimation, NoPauseWithoutAPauseOrForATextThatFits) {
    struct Case {
        const char* text;
        int pause;
    };
    for (const Case& c :
         {Case{"这是一行很长很长的滚动字幕，比屏幕宽得多，一直向左移动", 0}, Case{"短字幕", 3}}) {
        AnimationRig rig;
        rig.Screen(ScreenId::h, 256, 32, 1, 8, c.pause);
        ASSERT_FALSE(
            rig.renderer.RenderSubtitle(ScreenId::h, QString::fromUtf8(c.text), {}).failed());
        ManualTimer& timer = rig.timer(ScreenId::h);
        bool restarted = false;
        for (int tick = 0; tick < 1000 && !restarted; ++tick) {
            ASSERT_TRUE(timer.Fire());
            EXPECT_EQ(timer.interval, 50) << c.text;
            restarted = rig.animator->Step(ScreenId::h, EffectTimer::Subtitle) == 0;
        }
        EXPECT_TRUE(restarted) << c.text;
    }
}

TEST(PreviewAnimation, TheVerticalScreenMovesAlongItsOwnAxes) {
    AnimationRig rig;
    // Effect 4 on the vertical screen brings the picture up from the bottom.
    rig.Screen(ScreenId::s, 32, 256, 4, 8, 0);
    rig.settings.ActiveSettings.screen(ScreenId::s).Flash = 2;
    ASSERT_FALSE(rig.renderer.RenderSubtitle(ScreenId::s, QStringLiteral("纵屏字幕"), {}).failed());
    ManualTimer& timer = rig.timer(ScreenId::s);
    ASSERT_TRUE(timer.Fire());
    EXPECT_EQ(Crop(rig.preview(ScreenId::s), QRect(0, 248, 32, 8)),
              Crop(rig.picture(ScreenId::s), QRect(0, 0, 32, 8)));
    int ticks = 1;
    while (timer.Fire()) {
        ++ticks;
    }
    EXPECT_EQ(ticks, 32);
    EXPECT_EQ(rig.preview(ScreenId::s), Crop(rig.picture(ScreenId::s), QRect(0, 0, 32, 256)));
}

TEST(PreviewAnimation, ANewRenderStopsTheRunningAnimationAndDirectTextNeedsNoTimer) {
    AnimationRig rig;
    rig.Screen(ScreenId::h, 256, 32, 1, 2, 0);
    ASSERT_FALSE(rig.renderer.RenderSubtitle(ScreenId::h, QStringLiteral("第一句"), {}).failed());
    ManualTimer& timer = rig.timer(ScreenId::h);
    ASSERT_TRUE(timer.Fire());
    rig.settings.ActiveSettings.effect(ScreenId::h).Effect = 0;
    ASSERT_FALSE(rig.renderer.RenderSubtitle(ScreenId::h, QStringLiteral("第二句"), {}).failed());
    EXPECT_FALSE(timer.IsActive());
    EXPECT_EQ(rig.preview(ScreenId::h), Crop(rig.picture(ScreenId::h), QRect(0, 0, 256, 32)));
    // A settings change shows on the next step of a running animation.
    rig.settings.ActiveSettings.effect(ScreenId::h).Effect = 2;
    rig.settings.ActiveSettings.effect(ScreenId::h).Speed = 32;
    ASSERT_FALSE(rig.renderer.RenderSubtitle(ScreenId::h, QStringLiteral("第三句"), {}).failed());
    ASSERT_TRUE(timer.Fire());
    EXPECT_FALSE(timer.IsActive()); // 32 rows in one step: done
}

class PreviewFormTest : public ::testing::Test {
protected:
    QString config() const { return m_dir.file(QStringLiteral("Config.ini")); }
    TempDir m_dir;
};

TEST_F(PreviewFormTest, SavedZoomOpensEnlargedAndClosingWritesPlaceAndZoom) {
    ASSERT_TRUE(WritePreviewPlacement(config(), ScreenId::h, {40, 30, 2}).ok);
    QImage still = BlackBitmap(256, 32);
    still.setPixelColor(0, 0, Qt::red);
    TPreviewForm form(ScreenId::h, config(), [&] { return std::optional<QImage>(still); });
    form.Open(QSize(256, 32));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("横屏预览"));
    EXPECT_EQ(form.zoom(), 2);
    EXPECT_EQ(form.imageSize(), QSize(512, 64));
    EXPECT_EQ(form.size(), QSize(512 + 36, 64 + 85));
    // The still picture, scaled dot for dot.
    EXPECT_EQ(form.picture().pixelColor(1, 1), QColor(Qt::red));
    EXPECT_EQ(form.picture().pixelColor(2, 0), QColor(Qt::black));

    form.findChild<QPushButton*>(QStringLiteral("ButtonZoomOut"))->click();
    EXPECT_EQ(form.zoom(), 1);
    EXPECT_EQ(form.imageSize(), QSize(256, 32));
    form.move(70, 80);
    form.close();
    const PreviewPlacement saved = ReadPreviewPlacement(config(), ScreenId::h);
    EXPECT_EQ(saved.zoom, 1);
    EXPECT_EQ(saved.x, form.frameGeometry().left());
    EXPECT_EQ(saved.y, form.frameGeometry().top());
}

TEST_F(PreviewFormTest, APlaceOffEveryScreenIsBroughtBackAndTheZoomStaysInBounds) {
    ASSERT_TRUE(WritePreviewPlacement(config(), ScreenId::s, {-30000, 40000, 1000}).ok);
    TPreviewForm form(ScreenId::s, config(), [] { return std::nullopt; });
    form.Open(QSize(32, 256));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.intersects(form.frameGeometry()))
        << form.frameGeometry().x() << "," << form.frameGeometry().y();
    // A hand-edited counter of 1000 would need gigabytes: bounded.
    EXPECT_LE(form.imageSize().height(), 8192);
    EXPECT_EQ(form.imageSize().height(), 256 * form.zoom());
    EXPECT_EQ(form.size().height(), form.imageSize().height() + 103);
    const int zoom = form.zoom();
    form.ZoomIn();
    EXPECT_EQ(form.zoom(), zoom); // no further
    for (int i = 0; i < 40; ++i) {
        form.ZoomOut();
    }
    EXPECT_GE(form.imageSize().width(), 1);
    EXPECT_GE(form.imageSize().height(), 1);
    form.close();
}
