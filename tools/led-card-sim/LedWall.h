#pragma once

#include "CardBank.h"

#include "render/EffectAnimation.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <vector>

// The virtual LED wall of `led-card-sim --window`: every card of the bank as
// a panel of lit dots, grouped by screen, with the card's name, MAC and a
// state line. Each SwapBuffer is played the way the station's preview plays
// the line (the same step rules), so the wall and the preview agree.
//
// The wall lives on the user-interface thread and reads the bank (whose
// threads run the cards) through its locked accessors on every tick; a tick
// is also one step of every running animation. The tick timer can be left
// off so that a test steps the wall by calling Tick() and never waits.
class LedWall : public QWidget {
public:
    explicit LedWall(CardBank& bank, QWidget* parent = nullptr);

    static constexpr int kTickMs = 50;
    static constexpr int kMinDotSize = 1;
    static constexpr int kMaxDotSize = 16;

    // Production runs tick on a QTimer; tests leave it off.
    void SetAutoTick(bool on);
    bool autoTick() const { return m_timer.isActive(); }
    // Reads the cards' state and moves every running animation on by one tick.
    void Tick();

    int dotSize() const { return m_dotSize; }
    void SetDotSize(int size);

    // What one card shows, for tests and measurements. The panel is one pixel
    // per dot in the audience's orientation, before brightness; the dots are
    // the drawn picture (brightness applied); Step is the animation counter.
    QImage Panel(const MacAddress& mac) const;
    QImage Dots(const MacAddress& mac) const;
    QString StateLine(const MacAddress& mac) const;
    int Step(const MacAddress& mac) const;
    bool IsAnimating(const MacAddress& mac) const;

    // The panel picture a card's displayed frame gives, turned back to the
    // audience's reading for the vertical screen (whose card frame is the
    // picture turned a quarter turn anticlockwise).
    static QImage AudiencePicture(ScreenId screen, const QImage& displayed);
    static AnimationAxes AxesOf(ScreenId screen);
    static QString StateText(const CardState& state);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    struct CardView {
        MacAddress mac{};
        ScreenId screen = ScreenId::h;
        QString title;
        QString stateLine;
        int swaps = -1;
        int brightness = 16;
        AnimationParams params;
        QImage picture; // the whole picture of the last SwapBuffer, audience orientation
        QImage panel;   // what the panel shows now, one pixel per dot
        QImage dots;    // cached drawing of the panel
        int step = 0;
        int waitMs = 0;
        bool animating = false;
        bool dotsStale = true;
        // Where the card is drawn (widget coordinates).
        QRect titleRect;
        QRect panelRect;
        QRect stateRect;
    };

    const CardView* Find(const MacAddress& mac) const;
    void SyncCards();
    void Take(CardView& view, const CardState& state);
    void Advance(CardView& view);
    void Redraw(CardView& view);
    void Relayout();

    CardBank& m_bank;
    QTimer m_timer;
    int m_dotSize = 3;
    std::vector<CardView> m_cards; // by screen, then in bank order
    std::vector<std::pair<ScreenId, QRect>> m_headers;
    QSize m_extent;
};
