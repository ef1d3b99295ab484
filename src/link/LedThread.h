#pragma once

#include "CardOnline.h"
#include "FrameEncoding.h"
#include "LinkMonitor.h"
#include "MacAddress.h"
#include "StationLink.h"

#include "core/ScreenId.h"
#include "core/Settings.h"
#include "render/FrameSink.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One screen's card-side description and transfer state. Width and height are
// those of the frame the cards receive (the vertical screen's frame is turned,
// so a 32 × 256 vertical screen is 256 wide and 32 high here).
struct LinkScreen {
    int rowsPerGroup = 16;
    int width = 512;
    int height = 32;
    QString colourKind = QStringLiteral("同步+双色(桌面)");
    QString scan = QStringLiteral("4扫");
    QString fold = QStringLiteral("8列下折3次");
    int planeLength = 0;    // bytes per data plane for the next transfer
    int fullSlices = 0;     // planeLength / 1024
    int lastSliceBytes = 0; // planeLength % 1024
    bool sendRequest = false;
    // Taken by the parameter block only; the live link does not use them.
    int dataPolarity = 0;
    int oePolarity = 0;
};

// Receives the frames RequestFrame would send while offline data is being
// generated (the offline record writer). Called on the user-interface thread,
// inside RequestFrame.
class FrameDiverter {
public:
    virtual ~FrameDiverter() = default;
    virtual void DivertFrame(ScreenId screen, const QImage& frame, const FrameEffect& effect) = 0;
};

// What became of the last frame of a screen.
struct FrameReport {
    long long frames = 0; // frames of the screen finished since construction
    int cards = 0;        // cards in the list when the last frame went out
    int shown = 0;        // cards that acknowledged its SwapBuffer
};

// The link's worker thread: it owns the three screen frames the renderer hands
// over, and while the station is connected it sends a brightness command to
// every listed card when asked, and for each screen whose line changed encodes
// the frame and sends its planes and a SwapBuffer to every card of the screen,
// reconnecting cards that went offline. Failures only add lines to the monitor
// and mark the card offline.
//
// Threads: one std::thread, started at construction in the suspended state and
// joined by the destructor. It sleeps on a condition variable while it has no
// request, or while it is suspended or sending is paused. It stops
// cooperatively, never in the middle of an exchange: between cycles, before
// each card and each swap, after every slice, and after each card's
// brightness; a stopped transfer continues where it stopped when both the
// suspension and the pause are lifted. Card lists, in-use flags and frames are
// copied under a lock, so the worker never reads what the user interface
// changes; CardOnline is atomic and the monitor guarded.
//
// Every public function is called on the user-interface thread unless it says
// otherwise; all of them are safe while the worker runs. `link` must outlive
// the thread. The renderer hands frames over whole (FrameSink): RequestFrame
// takes the frame loaded last, and the worker sends the latest frame requested,
// once, however many requests came before it got there.
class TLedThread final : public FrameSink {
public:
    explicit TLedThread(StationLink& link);
    ~TLedThread() override;
    TLedThread(const TLedThread&) = delete;
    TLedThread& operator=(const TLedThread&) = delete;

    // FrameSink. The frame becomes the screen's ScreenBitmap.
    void LoadScreenBitmap(ScreenId screen, const QImage& frame, const FrameEffect& effect) override;
    // With a diverter set, hands the ScreenBitmap to it and nothing else.
    // Otherwise takes width and height from the ScreenBitmap, computes the plane
    // length and slice counts and raises the send request; the worker sends
    // this frame (a later load without a request does not change it).
    void RequestFrame(ScreenId screen) override;

    // Screen geometry and organisation as the screen-parameter settings give
    // them (width and height as the audience sees the screen; the vertical
    // screen's are exchanged). Resets the ScreenBitmap to a black frame of that
    // size. No transfer.
    void SetLinkScreenParams(ScreenId screen, int width, int height, int colourIndex, int scanIndex,
                             int dataPolarity, int oePolarity);
    LinkScreen linkScreen(ScreenId screen) const;
    QImage ScreenBitmap(ScreenId screen) const;
    FrameEffect screenEffect(ScreenId screen) const;
    // The connect sequence's part: the colour kind text and the plane length
    // from the LinkScreen's width.
    void SetColourKind(ScreenId screen, const QString& colourKind);
    void UpdatePlaneLength(ScreenId screen);

    // What the worker reads from the settings. A request for a screen not in
    // use stays pending (and does not keep the worker awake).
    void SetScreenInUse(ScreenId screen, bool inUse);
    bool IsScreenInUse(ScreenId screen) const;
    // The screen's card list; the worker uses each entry's address (characters
    // 5 to 21 of the entry). At most kMaxCards entries are taken.
    void SetCardList(ScreenId screen, const CardList& cards);

    // The offline generation seam; nullptr restores live sending. The diverter
    // must outlive its use.
    void SetFrameDiverter(FrameDiverter* diverter);

    // The host's local addresses as found at construction (the configured ones
    // when the link is given its own). Appends them to `out`; returns the count.
    int LocalAddresses(QStringList& out) const;

    // The brightness request: the level (0..16) goes to every listed card of
    // every screen (in use or not), twice, on the next cycle.
    void RequestBrightness(int level);
    // The level the worker sends when it reconnects a card by itself; no
    // request is raised. The connect sequence hands over the stored level.
    void SetBrightnessLevel(int level);
    int BrightnessLevel() const;

    // Suspension (connect resumes, disconnect suspends) and the sending pause.
    void Resume();
    void Suspend();
    bool IsSuspended() const;
    void PauseSending(bool paused);
    bool IsSendingPaused() const;
    // While suspended or paused: waits until the worker has stopped at a pause
    // point or is sleeping, so that another thread may use the link alone.
    // False when `limit` passed first or the worker is not held back.
    bool WaitUntilHeld(std::chrono::milliseconds limit);
    // Waits until the worker sleeps with nothing to do: no brightness request
    // and no request for a screen in use (or the worker cannot run).
    bool WaitUntilIdle(std::chrono::milliseconds limit);

    // Finished frames (every card tried and every online card swapped).
    FrameReport LastFrame(ScreenId screen) const;
    bool WaitFramesDone(ScreenId screen, long long frames, std::chrono::milliseconds limit);
    // Cycles the worker started (an idle worker starts none).
    long long Cycles() const;

    CardOnline& cardOnline() { return m_online; }
    LinkMonitor& monitor() { return m_monitor; }

    // Ends the thread: a cycle in progress is abandoned at its next pause point
    // (nothing more is sent), and the thread is joined. The destructor calls it.
    void Terminate();

private:
    struct CardTarget {
        MacAddress mac{};
        std::u16string macText; // as listed, for the monitor lines
    };
    struct Screen {
        LinkScreen link;
        // Counts card list changes, so a transfer held across a reconnect
        // can tell that the list it started with is gone.
        long long cardsGeneration = 0;
        QImage bitmap;
        FrameEffect effect;
        QImage requested; // the frame the pending request sends
        FrameEffect requestedEffect;
        bool inUse = false;
        std::vector<CardTarget> cards;
        FrameReport report;
    };
    struct FrameJob {
        QImage frame;
        FrameEffect effect;
        LinkScreen link;
        std::vector<CardTarget> cards;
        long long cardsGeneration = 0;
    };
    enum class FrameOutcome { Done, CardsChanged, Terminated };

    void Run();
    // Called on the worker thread. False when the thread is terminating.
    bool PausePoint();
    bool SendBrightness(int level);
    bool SendFrame(ScreenId screen, FrameJob& job);
    FrameOutcome SendFrameToCards(ScreenId screen, const FrameJob& job);
    // A pause point inside a transfer: also tells when the screen's card list
    // changed while the worker was held there.
    FrameOutcome TransferPausePoint(ScreenId screen, const FrameJob& job);
    enum class PlaneOutcome { Sent, CardLost, CardsChanged, Terminated };
    PlaneOutcome SendPlane(ScreenId screen, const FrameJob& job, int plane, int cardIndex,
                           const CardTarget& card);
    void ReportFailure(ScreenId screen, const CardTarget& card, const QString& what);
    bool HeldLocked() const { return m_suspended || m_paused; }
    bool HasWorkLocked() const;
    Screen& screenLocked(ScreenId screen) { return m_screens[ScreenIndex(screen)]; }
    const Screen& screenLocked(ScreenId screen) const { return m_screens[ScreenIndex(screen)]; }

    StationLink& m_link;
    QStringList m_localAddresses;
    CardOnline m_online;
    LinkMonitor m_monitor;
    std::array<FrameStore, 3> m_stores; // worker thread only

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;    // the worker waits here
    std::condition_variable m_changed; // waiters of the user-interface side
    std::array<Screen, 3> m_screens;
    FrameDiverter* m_diverter = nullptr;
    bool m_brightnessRequest = false;
    int m_light = 0;
    bool m_suspended = true;
    bool m_paused = false;
    bool m_terminate = false;
    bool m_held = false;    // stopped at a pause point or sleeping
    bool m_idle = false;    // sleeping between cycles
    bool m_running = false; // the thread has not ended
    long long m_cycles = 0;
    std::thread m_thread;
};
