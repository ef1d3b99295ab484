#pragma once

#include "render/FrameSink.h"
#include "render/Rasteriser.h"
#include "render/TextRenderer.h"
#include "render/TextRules.h"
#include "support/Pictures.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

// A rasteriser with the metrics of a classic Chinese bitmap face: a
// full-width character is as wide as the cell is high (or twice the average
// width when one is asked for), a half-width character half of that. Every
// drawn character is a solid box one pixel narrower than its advance, with
// its top-left pixel left dark so tests can tell how a character was turned;
// spaces draw nothing.
struct FakeDraw {
    QString text;
    int x = 0;
    int y = 0;
    FontParams font;
    int spacing = 0;
    QRgb colour = 0;
    QSize target;
};

class FakeRasteriser final : public Rasteriser {
public:
    std::shared_ptr<const RasterFont> CreateFont(const FontParams& fontParams) override {
        FontParams clamped = fontParams;
        clamped.cellHeight = std::max(1, fontParams.cellHeight);
        clamped.averageWidth = std::max(0, fontParams.averageWidth);
        return std::make_shared<Font>(clamped, &draws);
    }

    static int CharacterWidth(const FontParams& fontParams, const QString& character) {
        const int full =
            fontParams.averageWidth > 0 ? 2 * fontParams.averageWidth : fontParams.cellHeight;
        const int half =
            fontParams.averageWidth > 0 ? fontParams.averageWidth : fontParams.cellHeight / 2;
        return IsTwoByteCharacter(character) ? full : half;
    }

    std::vector<FakeDraw> draws;

private:
    class Font final : public RasterFont {
    public:
        Font(FontParams fontParams, std::vector<FakeDraw>* log)
            : m_params(std::move(fontParams)), m_log(log) {}
        const FontParams& params() const override { return m_params; }
        int TextWidth(QStringView text, int extraSpacing) const override {
            int width = 0;
            for (const QString& c : SplitCharacters(text.toString())) {
                width += CharacterWidth(m_params, c) + extraSpacing;
            }
            return width;
        }
        int TextHeight(QStringView) const override { return m_params.cellHeight; }
        void DrawText(QImage& target, int x, int y, QStringView text, QRgb colour,
                      int extraSpacing) const override {
            m_log->push_back(
                {text.toString(), x, y, m_params, extraSpacing, colour, target.size()});
            int left = x;
            for (const QString& c : SplitCharacters(text.toString())) {
                const int width = CharacterWidth(m_params, c);
                if (IsBlankRow(c) || c == QStringLiteral("\u3000")) {
                    left += width + extraSpacing; // spaces leave an empty cell
                    continue;
                }
                const QRect box = QRect(left, y, width - 1, m_params.cellHeight);
                for (int py = box.top(); py <= box.bottom(); ++py) {
                    for (int px = box.left(); px <= box.right(); ++px) {
                        if ((px == box.left() && py == box.top()) || !target.valid(px, py)) {
                            continue;
                        }
                        target.setPixel(px, py, colour);
                    }
                }
                left += width + extraSpacing;
            }
        }

    private:
        FontParams m_params;
        std::vector<FakeDraw>* m_log;
    };
};

class RecordingSink final : public FrameSink {
public:
    struct Load {
        ScreenId screen;
        QImage frame;
        FrameEffect effect;
    };
    void LoadScreenBitmap(ScreenId screen, const QImage& frame,
                          const FrameEffect& effect) override {
        loads.push_back({screen, frame, effect});
        events.push_back(std::string("load ") + ScreenLetter(screen));
    }
    void RequestFrame(ScreenId screen) override {
        events.push_back(std::string("request ") + ScreenLetter(screen));
    }
    std::vector<Load> loads;
    std::vector<std::string> events;
};

class RecordingHost final : public PreviewHost {
public:
    void StopEffectTimer(ScreenId screen, EffectTimer timer) override {
        events.push_back(Name("stop", screen, timer));
    }
    void StartEffectTimer(ScreenId screen, EffectTimer timer) override {
        events.push_back(Name("start", screen, timer));
    }
    bool IsPreviewShown(ScreenId screen) const override { return shown[ScreenIndex(screen)]; }
    void PreviewChanged(ScreenId screen) override {
        events.push_back(std::string("preview ") + ScreenLetter(screen));
    }
    static std::string Name(const char* what, ScreenId screen, EffectTimer timer) {
        return std::string(what) + (timer == EffectTimer::Subtitle ? " subtitle " : " advert ") +
               ScreenLetter(screen);
    }

    bool shown[3] = {true, true, true};
    std::vector<std::string> events;
};

inline bool IsAllBlack(const QImage& image) {
    return LitBounds(image).isNull();
}
