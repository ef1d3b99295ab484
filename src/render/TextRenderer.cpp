#include "TextRenderer.h"

#include "Bitmaps.h"
#include "TextLayout.h"

#include <algorithm>
#include <cmath>

int AdvertPointSize(const QString& sizeText) {
    bool ok = false;
    const int size = sizeText.trimmed().toInt(&ok);
    return ok ? size : 12;
}

int AdvertPixelHeight(int pointSize) {
    return std::max(1, static_cast<int>(std::lround(pointSize * 96.0 / 72.0)));
}

AdvertStyle AdvertStyleFromSettings(const TAdSettings& ad, const QStringList& faces) {
    AdvertStyle style;
    style.singleRow = ad.OneTwo;
    if (ad.zit >= 0 && ad.zit < faces.size()) {
        style.face = faces[ad.zit];
    }
    style.pointSize = ad.dax + 8;
    style.bold = ad.zut;
    style.italic = ad.xiet;
    style.colourIndex = ad.yans;
    style.effect = ad.tej;
    style.speed = ad.sud;
    style.pause = ad.tingl;
    return style;
}

QImage CardFrame(ScreenId screen, const QImage& picture, int screenWidth, int screenHeight) {
    if (screen != ScreenId::s) {
        QImage frame = BlackBitmap(std::max(picture.width(), screenWidth), screenHeight);
        const QRect shared = frame.rect().intersected(picture.rect());
        CopyScaled(picture, shared, frame, shared);
        return frame;
    }
    // frame(x, y) = picture(screenWidth - 1 - y, x)
    QImage frame = BlackBitmap(std::max(picture.height(), screenHeight), screenWidth);
    for (int y = 0; y < frame.height(); ++y) {
        const int px = screenWidth - 1 - y;
        if (px < 0 || px >= picture.width()) {
            continue;
        }
        uchar* out = frame.scanLine(y);
        const int columns = std::min(frame.width(), picture.height());
        for (int x = 0; x < columns; ++x) {
            const uchar* in = picture.constScanLine(x) + px * 3;
            out[x * 3] = in[0];
            out[x * 3 + 1] = in[1];
            out[x * 3 + 2] = in[2];
        }
    }
    return frame;
}

TextRenderer::TextRenderer(const TSettings& active, Rasteriser& rasteriser)
    : m_settings(active), m_rasteriser(rasteriser) {}

const QImage& TextRenderer::renderBitmap(ScreenId screen) const {
    return m_screens[ScreenIndex(screen)].renderBitmap;
}

const QImage& TextRenderer::previewImage(ScreenId screen) const {
    return m_screens[ScreenIndex(screen)].preview;
}

RenderOutcome TextRenderer::RenderSubtitle(ScreenId screen, const QString& row1,
                                           const QString& row2) {
    return Render(screen, RenderKind::Subtitle, row1, row2, 0, nullptr);
}

RenderOutcome TextRenderer::RenderTempText(ScreenId screen, const QString& row1,
                                           const QString& row2, int dialogColourIndex) {
    return Render(screen, RenderKind::TempText, row1, row2, dialogColourIndex, nullptr);
}

RenderOutcome TextRenderer::RenderAdvert(ScreenId screen, const QString& row1, const QString& row2,
                                         const AdvertStyle& style) {
    return Render(screen, RenderKind::Advert, row1, row2, style.colourIndex, &style);
}

RenderOutcome TextRenderer::Render(ScreenId screen, RenderKind kind, const QString& row1,
                                   const QString& row2, int dialogColourIndex,
                                   const AdvertStyle* advert) {
    const TScreenParams& params = m_settings.screen(screen);
    const TTextEffect& effect = m_settings.effect(screen);
    if (!params.ScreenKind) {
        return {RenderOutcome::Status::NotInUse, {}};
    }
    if (m_host) {
        m_host->StopEffectTimer(screen, EffectTimer::Subtitle);
        if (kind != RenderKind::TempText) {
            m_host->StopEffectTimer(screen, EffectTimer::Advert);
        }
    }

    // Text runs along the screen's own axes ("straight") when its direction
    // matches the screen's family; otherwise it is laid out in a transposed
    // frame and turned. Any Flash other than the family's own value turns.
    const bool straight = screen == ScreenId::s ? params.Flash == 2 : params.Flash == 1;
    const bool vertical = screen == ScreenId::s ? straight : !straight;
    const int screenWidth = std::clamp(params.ScreenWidth, 1, kMaxScreenSide);
    const int screenHeight = std::clamp(params.ScreenHeight, 1, kMaxScreenSide);

    LayoutRequest request;
    request.kind = kind;
    request.screen = screen;
    request.frameWidth = straight ? screenWidth : screenHeight;
    request.frameHeight = straight ? screenHeight : screenWidth;
    request.vertical = vertical;
    request.align = m_settings.Text.Align;
    request.screenStyle = params.ScreenStyle;
    FrameEffect frameEffect{effect.Effect, effect.Speed, effect.RollStay};
    if (kind == RenderKind::Advert) {
        request.singleRow = advert->singleRow;
        request.face = advert->face;
        request.bold = advert->bold;
        request.italic = advert->italic;
        request.sizeMode = SizeMode::Fixed;
        request.sizeHeight = AdvertPixelHeight(advert->pointSize);
        request.sizeWidth = 0;
        request.effect = advert->effect;
        request.colour = DialogTextColour(advert->colourIndex);
        frameEffect = FrameEffect{advert->effect, advert->speed, advert->pause};
    } else {
        request.singleRow = effect.Row == 1;
        request.face = effect.Font;
        request.bold = effect.Bold == 1;
        request.italic = effect.Italic == 1;
        request.sizeMode = SizeModeOf(effect.AutoSize);
        request.sizeWidth = effect.SizeWidth;
        request.sizeHeight = effect.SizeHeight;
        request.autoSpacing = kind == RenderKind::Subtitle && effect.Zjj;
        request.effect = effect.Effect;
        request.colour = kind == RenderKind::TempText && straight
                             ? DialogTextColour(dialogColourIndex)
                             : ScreenTextColour(effect.Color);
    }

    LayoutResult layout = LayOutText(m_rasteriser, request, row1, row2);
    if (!layout.ok) {
        return {RenderOutcome::Status::TooLong, layout.message};
    }

    Screen& state = m_screens[ScreenIndex(screen)];
    if (straight) {
        state.renderBitmap = std::move(layout.frame);
    } else if (screen == ScreenId::s) {
        state.renderBitmap = TurnClockwise(layout.frame);
    } else {
        state.renderBitmap = TurnAnticlockwise(layout.frame);
    }

    HandOff(screen, frameEffect,
            kind == RenderKind::Advert ? EffectTimer::Advert : EffectTimer::Subtitle,
            kind != RenderKind::Advert);
    if (m_observer && (!m_host || m_host->IsPreviewShown(screen))) {
        m_observer->LineRendered(screen, RenderedLine{request, row1, row2, !straight, frameEffect});
    }
    return {};
}

void TextRenderer::HandOff(ScreenId screen, const FrameEffect& effect, EffectTimer timer,
                           bool request) {
    if (m_host && !m_host->IsPreviewShown(screen)) {
        return;
    }
    const TScreenParams& params = m_settings.screen(screen);
    const int screenWidth = std::clamp(params.ScreenWidth, 1, kMaxScreenSide);
    const int screenHeight = std::clamp(params.ScreenHeight, 1, kMaxScreenSide);
    Screen& state = m_screens[ScreenIndex(screen)];
    // A fresh image every time: the previous one may still be with the link.
    state.preview = BlackBitmap(screenWidth, screenHeight);

    QImage frame;
    if (effect.effect != 0) {
        // The animation brings the picture in; the cards animate it themselves
        // from the whole picture.
        if (m_host) {
            m_host->PreviewChanged(screen);
            m_host->StartEffectTimer(screen, timer);
        }
        frame = CardFrame(screen, state.renderBitmap, screenWidth, screenHeight);
    } else {
        const QRect region(0, 0, screenWidth, screenHeight);
        CopyScaled(state.renderBitmap, region, state.preview, region);
        frame = CardFrame(screen, state.preview, screenWidth, screenHeight);
    }
    if (m_sink) {
        m_sink->LoadScreenBitmap(screen, frame, effect);
        if (request) {
            m_sink->RequestFrame(screen);
        }
    }
    if (effect.effect == 0 && m_host) {
        m_host->PreviewChanged(screen);
    }
}

AnimationStep TextRenderer::AnimatePreview(ScreenId screen, const AnimationParams& params,
                                           int step) {
    Screen& state = m_screens[ScreenIndex(screen)];
    if (state.preview.isNull() || state.renderBitmap.isNull()) {
        AnimationStep stopped;
        stopped.step = step;
        return stopped;
    }
    const AnimationAxes axes =
        screen == ScreenId::s ? AnimationAxes::VerticalScreen : AnimationAxes::Horizontal;
    const AnimationStep next =
        EffectAnimationStep(axes, params, step, state.preview.size(), state.renderBitmap.size());
    ApplyAnimationStep(next, state.renderBitmap, state.preview);
    return next;
}
