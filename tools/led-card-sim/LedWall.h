#pragma once

#include "CardBank.h"
#include "OfflineContent.h"

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
// A card the station let go of with "yes" plays its flash instead, as it
// would on its own: the advertisement, then every subtitle record in file
// order, each with its effect, then from the start again; so the offline show
// can be rehearsed on the wall. The flash is read once when the card starts
// playing on its own; a new connection brings back the live picture.
//
// The screens stand side by side, each with its cards (wide panels stacked,
// tall ones next to each other with their text beside them), and the dots take
// the largest size at which the whole wall fits the widget: resizing the
// window re-lays the wall out.
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
    // How long an offline item stands still: a direct display from its first
    // tick, a moved-in picture once it is in. A scroll ends when its picture
    // has left the panel.
    static constexpr int kOfflineHoldMs = 2000;

    // Production runs tick on a QTimer; tests leave it off.
    void SetAutoTick(bool on);
    bool autoTick() const { return m_timer.isActive(); }
    // Reads the cards' state and moves every running animation on by one tick.
    void Tick();

    int dotSize() const { return m_dotSize; }
    // Sets the dot size and asks the window for the room it needs, so that
    // the size the window ends with decides (it may be refused room).
    void SetDotSize(int size);
    // The room the whole wall needs at a dot size; the largest size whose
    // room fits the widget is the one shown.
    QSize SizeForDotSize(int size) const;

    // Where a card and a screen's group are drawn (widget coordinates), for
    // tests; empty for a card or screen the wall does not show.
    struct CardPlace {
        QRect title;
        QRect panel;
        QRect state;
        QRect area() const { return title | panel | state; }
    };
    CardPlace Place(const MacAddress& mac) const;
    QRect ScreenArea(ScreenId screen) const;

    // What one card shows, for tests and measurements. The panel is one pixel
    // per dot in the audience's orientation, before brightness; the dots are
    // the drawn picture (brightness applied); Step is the animation counter.
    QImage Panel(const MacAddress& mac) const;
    QImage Dots(const MacAddress& mac) const;
    QString StateLine(const MacAddress& mac) const;
    int Step(const MacAddress& mac) const;
    bool IsAnimating(const MacAddress& mac) const;
    // What the card's flash gave that could not be played (empty while the
    // card shows live frames).
    QStringList OfflineProblems(const MacAddress& mac) const;

    // The panel picture a card's displayed frame gives, turned back to the
    // audience's reading for the vertical screen (whose card frame is the
    // picture turned a quarter turn anticlockwise).
    static QImage AudiencePicture(ScreenId screen, const QImage& displayed);
    static AnimationAxes AxesOf(ScreenId screen);
    // `offlineShow` replaces the plain offline mode text while the card plays
    // its flash ("脱机播放 offline: 字幕 3/120"); `unreadable` follows it.
    static QString StateText(const CardState& state, const QString& offlineShow = {},
                             const QString& unreadable = {});
    // The state line as drawn: a narrow column wraps it between its parts,
    // never between a word and its number ("帧 12").
    static QString DrawnStateText(const QString& stateLine);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // A card playing its flash on its own.
    struct OfflinePlay {
        bool active = false;
        // What the programme was read for; any change reads the flash again.
        int disconnects = -1;
        long long flashBlocks = -1;
        ScreenId screen = ScreenId::h;
        CardParams params{};
        std::vector<std::uint8_t> flash;
        offline::OfflineProgramme programme;
        int item = 0;   // the advertisement (when there is one) first, then the subtitles
        int holdMs = 0; // still time left once the item stands
    };

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
        OfflinePlay offline;
        CardPlace place; // widget coordinates
    };

    struct ScreenGroup {
        ScreenId screen = ScreenId::h;
        QRect header;
        QRect area; // header and cards
    };
    struct Arrangement {
        std::vector<CardPlace> cards; // as m_cards
        std::vector<ScreenGroup> groups;
        QSize extent;
    };

    const CardView* Find(const MacAddress& mac) const;
    void SyncCards();
    void Take(CardView& view, const CardState& state);
    void Advance(CardView& view);
    void EnterOffline(CardView& view, const CardState& state);
    void StartOfflineItem(CardView& view, int item);
    void AdvanceOffline(CardView& view);
    static int OfflineItems(const CardView& view);
    static QString OfflineShowText(const CardView& view);
    static QString UnreadableText(const CardView& view);
    void Redraw(CardView& view);
    Arrangement Arrange(int dotSize) const;
    int FittingDotSize(QSize room) const;
    void Relayout();

    CardBank& m_bank;
    QTimer m_timer;
    int m_dotSize = 3;
    std::vector<CardView> m_cards; // by screen, then in bank order
    std::vector<ScreenGroup> m_groups;
};
