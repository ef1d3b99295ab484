#pragma once

#include "EffectAnimation.h"
#include "FrameSink.h"
#include "Rasteriser.h"
#include "TextLayout.h"

#include "core/ScreenId.h"
#include "core/Settings.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <array>

// Renders script lines, the temporary message and the advertisement into each
// screen's picture (RenderBitmap, in the orientation the audience reads) and
// its main-window preview image, and hands the card-oriented frame to the
// link. One object serves the three screens; the main window owns it, and it
// reads the active settings records on every render.

// The two animation timers each screen has in the user interface.
enum class EffectTimer { Subtitle, Advert };

// What the renderer needs from the user interface: the screens' animation
// timers, whether a screen's preview is on show, and the preview windows.
// Without a host, previews count as shown and there are no timers.
// Called on the user-interface thread only.
class PreviewHost {
public:
    virtual ~PreviewHost() = default;
    virtual void StopEffectTimer(ScreenId screen, EffectTimer timer) = 0;
    // Starts the timer with step counter 0 and an interval of 50 ms; each tick
    // then calls TextRenderer::AnimatePreview (the subtitle timer of screen h
    // also stops that screen's advertisement timer on every tick).
    virtual void StartEffectTimer(ScreenId screen, EffectTimer timer) = 0;
    // Whether the screen's main-window preview image is shown (it is for
    // screens in use); a render hands nothing on while it is hidden.
    virtual bool IsPreviewShown(ScreenId screen) const = 0;
    // The preview image has a new picture (possibly all black while an
    // animation starts): an open preview window copies it, scaled to its size.
    virtual void PreviewChanged(ScreenId screen) = 0;
};

struct RenderOutcome {
    enum class Status { Rendered, NotInUse, TooLong };
    Status status = Status::Rendered;
    // For TooLong: the text the caller shows in an information box ("信息").
    QString message;
    bool failed() const { return status == Status::TooLong; }
};

// The advertisement as chosen in the text dialog.
struct AdvertStyle {
    bool singleRow = true;
    QString face = QStringLiteral("宋体");
    int pointSize = 20;
    bool bold = false;
    bool italic = false;
    int colourIndex = 0; // 0 red, 1 green, other yellow
    int effect = 1;
    int speed = 8;
    int pause = 0;
};
// The size list's text as points; anything that is not a number counts as 12.
int AdvertPointSize(const QString& sizeText);
// Character height in pixels of a point size, drawn at 96 pixels per inch.
int AdvertPixelHeight(int pointSize);
// The style stored in Config.ini; faces is the dialog's font list (zit indexes it).
AdvertStyle AdvertStyleFromSettings(const TAdSettings& ad, const QStringList& faces);

// A rendered line as its layout asked for it, for outputs that draw the line
// again at their own resolution (a monitor or projector window).
struct RenderedLine {
    LayoutRequest request; // the frame size and font as the screen's layout had them
    QString row1;
    QString row2;
    // The layout ran across the screen's own axes and the picture was turned
    // (clockwise for the vertical screen, anticlockwise for the others).
    bool turned = false;
    FrameEffect effect;
};

// Sees every line a screen renders and hands on (blank lines, temporary text
// and the advertisement too). Called on the user-interface thread, inside
// the render.
class LineObserver {
public:
    virtual ~LineObserver() = default;
    virtual void LineRendered(ScreenId screen, const RenderedLine& line) = 0;
};

class TextRenderer {
public:
    // active is the settings instance that rendering reads (ActiveSettings);
    // both must outlive the renderer.
    TextRenderer(const TSettings& active, Rasteriser& rasteriser);
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    // Where frames go (none: the picture and preview are still drawn).
    void SetFrameSink(FrameSink* sink) { m_sink = sink; }
    void SetPreviewHost(PreviewHost* host) { m_host = host; }
    void SetLineObserver(LineObserver* observer) { m_observer = observer; }

    // A script line (row 1) and the next one (row 2, used by double-row
    // screens). A screen not in use is left alone. A scrolling line too long
    // for the screen changes nothing and returns TooLong with the message.
    RenderOutcome RenderSubtitle(ScreenId screen, const QString& row1, const QString& row2);
    // The operator's temporary message in the screen's style; the dialog's
    // colour is used where the text runs along the screen's own axes.
    RenderOutcome RenderTempText(ScreenId screen, const QString& row1, const QString& row2,
                                 int dialogColourIndex);
    // The advertisement: the frame is loaded for the offline file but no
    // send request is raised.
    RenderOutcome RenderAdvert(ScreenId screen, const QString& row1, const QString& row2,
                               const AdvertStyle& style);

    // The last rendered picture; wider (or, vertical screen, taller) than the
    // screen for scrolling text longer than the screen. Null before the first render.
    const QImage& renderBitmap(ScreenId screen) const;
    // The main-window preview image, exactly the screen's size.
    const QImage& previewImage(ScreenId screen) const;

    // One tick of a screen's preview animation: moves the picture into the
    // preview image and returns the new step counter, whether the timer goes
    // on and its next interval.
    AnimationStep AnimatePreview(ScreenId screen, const AnimationParams& params, int step);

    // Largest screen side accepted; larger stored values are drawn at this size.
    static constexpr int kMaxScreenSide = 4096;

private:
    struct Screen {
        QImage renderBitmap;
        QImage preview;
    };

    RenderOutcome Render(ScreenId screen, RenderKind kind, const QString& row1, const QString& row2,
                         int dialogColourIndex, const AdvertStyle* advert);
    void HandOff(ScreenId screen, const FrameEffect& effect, EffectTimer timer, bool request);

    const TSettings& m_settings;
    Rasteriser& m_rasteriser;
    FrameSink* m_sink = nullptr;
    PreviewHost* m_host = nullptr;
    LineObserver* m_observer = nullptr;
    std::array<Screen, 3> m_screens;
};

// The frame a card of the screen receives from a picture of the screen:
// screens h and x take it as it is (at least the screen's width); the vertical
// screen's picture is turned a quarter turn anticlockwise.
QImage CardFrame(ScreenId screen, const QImage& picture, int screenWidth, int screenHeight);
