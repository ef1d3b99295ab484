#pragma once

#include "CardOnline.h"
#include "CardPipeline.h"
#include "FrameEncoding.h"
#include "FrameTap.h"
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

// The link's worker: it owns the three screen frames the renderer hands over,
// and while the station is connected it sends a brightness command to every
// listed card when asked, and for each screen whose line changed encodes the
// frame and sends its planes and a SwapBuffer to every card of the screen,
// reconnecting cards that went offline. Failures only add lines to the monitor
// and mark the card offline.
//
// Threads: one sender std::thread per screen, started at construction in the
// suspended state and joined by Terminate. Each sender serves only its own
// screen (its brightness request, its frames, its FrameStore, its ScreenLink),
// so the screens' round trips overlap instead of adding up. A sender sleeps on
// a condition variable while its screen has no request, or while the worker is
// suspended or sending is paused.
//
// Cards of a screen together: within a screen, a frame goes to all its cards
// at once (CardPipeline), in two passes. In the first, every card runs through
// its own steps — Connect when it is offline, then each slice of plane 1 and
// of plane 2 — and each card's next step goes as soon as that card's own
// answer has come: slice k leaves for every card together, and a card that
// loses answers or dies costs its own retries, not the others' time. The
// second pass sends SwapBuffer to every card still online, again all at once.
// Each card still receives exactly the datagrams, in the order, it would
// receive if it were the screen's only card, with its own budget (20 attempts
// of 25 ms per slice or swap, the identical datagram each time), monitor line
// and offline marking.
//
// Replies: WriteData and SwapBuffer carry a sequence byte which the answer
// repeats, so each outstanding one is an entry of the screen's reply table,
// keyed by its byte (LinkReply); an answer completes the entry it names and a
// reply matching none is ignored. A byte is claimed when its datagram is built
// (never one outstanding on the screen), and one whose command went out more
// than once or was never answered stays unused on that screen for a while, so
// a late answer to it cannot complete a newer slice. Replies to Connect carry
// no byte, so a Connect holds the screen's one exchange: cards connect one at
// a time, in list order, while the others write.
//
// Pausing: a sender stops cooperatively, never in the middle of an exchange.
// While the worker is suspended, sending is paused or the card list changed,
// no new datagram starts; the outstanding ones run to their answer or the end
// of their attempts, and then the sender stops at a pause point. It also stops
// between cycles, before each pass and after each card's brightness. A stopped
// transfer continues where it stopped when both the suspension and the pause
// are lifted (a card the disconnect sequence marked offline meanwhile gets
// nothing more of the frame). The worker counts as held only when every sender
// is.
//
// Swaps together: a sender that has written its frame's data to every card
// waits for the other screens still writing theirs, then all send their
// SwapBuffers at once, so the audience sees the screens change together. It
// does not wait for a screen where no exchange has ended for one attempt of
// the slice budget (a card retrying or dying there): that screen's budget is
// its own, and it swaps alone when it is done.
//
// Card lists, in-use flags, frames and the swap rendezvous are kept under one
// lock, so no sender reads what the user interface changes; CardOnline is
// atomic, the monitor guarded (lines of different screens interleave, each
// line whole), and the command buffer and sequence counter are shared safely.
//
// Every public function is called on the user-interface thread unless it says
// otherwise; all of them are safe while the senders run. `link` must outlive
// the threads. The renderer hands frames over whole (FrameSink): RequestFrame
// takes the frame loaded last, and the screen's sender sends the latest frame
// requested, once, however many requests came before it got there.
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
    // The same from a screen's settings record.
    void SetLinkScreenParams(ScreenId screen, const TScreenParams& params) {
        SetLinkScreenParams(screen, params.ScreenWidth, params.ScreenHeight, params.ScreenStyle,
                            params.ScanStyle, params.DataPol, params.OePol);
    }
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

    // Outputs beside the cards (FrameTap); nullptr removes it. Once this
    // returns, the tap set before is not called any more, so it may go.
    void SetFrameTap(FrameTap* tap);

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
    // While suspended or paused: waits until every sender has stopped at a
    // pause point or is sleeping, so that another thread may use the link alone.
    // False when `limit` passed first or the worker is not held back.
    bool WaitUntilHeld(std::chrono::milliseconds limit);
    // Waits until every sender sleeps with nothing to do: no brightness request
    // and no request for a screen in use (or the senders cannot run).
    bool WaitUntilIdle(std::chrono::milliseconds limit);

    // Finished frames (every card tried and every online card swapped).
    FrameReport LastFrame(ScreenId screen) const;
    bool WaitFramesDone(ScreenId screen, long long frames, std::chrono::milliseconds limit);
    // Cycles the senders started, each a wake-up of one screen's sender with
    // work for it (an idle worker starts none).
    long long Cycles() const;

    CardOnline& cardOnline() { return m_online; }
    LinkMonitor& monitor() { return m_monitor; }

    // Ends the senders: a cycle in progress is abandoned at its next pause
    // point (nothing more is sent), and every sender is joined. The destructor
    // calls it.
    void Terminate();

private:
    struct CardTarget {
        MacAddress mac{};
        std::u16string macText; // as listed, for the monitor lines
    };
    // Where a screen's frame is on its way to the swap rendezvous.
    enum class SwapPhase {
        Idle,     // no frame in transfer
        Writing,  // connecting cards and writing planes
        Ready,    // data written, waiting for the screens still writing
        Swapping, // sending its SwapBuffers
    };
    // Guarded by m_mutex, every field.
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
        bool brightnessRequest = false;
        // The screen's sender.
        bool held = false;    // stopped at a pause point or sleeping
        bool idle = false;    // sleeping between cycles
        bool running = false; // the thread has not ended
        SwapPhase phase = SwapPhase::Idle;
        // When the sender last finished an exchange (or was let go after a
        // hold); the others stop waiting for it when this grows old.
        std::chrono::steady_clock::time_point progress{};
    };
    struct FrameJob {
        QImage frame;
        FrameEffect effect;
        LinkScreen link;
        std::vector<CardTarget> cards;
        long long cardsGeneration = 0;
    };
    using FrameOutcome = PipelineOutcome;

    // The functions from here to ReportFailure run on the sender of `screen`,
    // without m_mutex held.
    void RunSender(ScreenId screen);
    // False when the worker is terminating.
    bool PausePoint(ScreenId screen);
    bool SendBrightness(ScreenId screen, int level);
    bool SendFrame(ScreenId screen, FrameJob& job);
    FrameOutcome SendFrameToCards(ScreenId screen, const FrameJob& job);
    // A pause point inside a transfer: also tells when the screen's card list
    // changed while the sender was held there.
    FrameOutcome TransferPausePoint(ScreenId screen, const FrameJob& job);
    // The swap rendezvous: returns once no other screen is still writing its
    // data at a steady pace, or the sender was held and the card list changed,
    // or the worker terminates.
    FrameOutcome GatherSwaps(ScreenId screen, const FrameJob& job);
    void SetPhase(ScreenId screen, SwapPhase phase);
    void NoteProgress(ScreenId screen);
    // What the screen's card pipeline asks of the sender: the pause points,
    // the online and brightness bookkeeping and the monitor lines.
    PipelineHooks HooksFor(ScreenId screen, const FrameJob& job);
    static QString FailureText(ScreenId screen, const CardStep& step);
    void ReportFailure(ScreenId screen, const CardTarget& card, const QString& what);
    void TapFrame(ScreenId screen, const FrameJob& job);

    bool HeldLocked() const { return m_suspended || m_paused; }
    bool HasWorkLocked(const Screen& screen) const {
        return screen.brightnessRequest || (screen.inUse && screen.link.sendRequest);
    }
    // The hold was lifted: nobody's wait at a pause point counts as a stall.
    void ReleasedLocked();
    Screen& screenLocked(ScreenId screen) { return m_screens[ScreenIndex(screen)]; }
    const Screen& screenLocked(ScreenId screen) const { return m_screens[ScreenIndex(screen)]; }

    StationLink& m_link;
    QStringList m_localAddresses;
    CardOnline m_online;
    LinkMonitor m_monitor;
    std::array<FrameStore, 3> m_stores; // each used by its screen's sender only

    mutable std::mutex m_mutex;
    std::condition_variable m_wake; // the senders wait here for work and at pause points
    // Senders wait here at the swap rendezvous; apart from m_wake, so a
    // change of phase does not wake the idle senders.
    std::condition_variable m_gate;
    std::condition_variable m_changed; // waiters of the user-interface side
    std::array<Screen, 3> m_screens;
    FrameDiverter* m_diverter = nullptr;
    // Held while a sender calls the tap, so SetFrameTap can wait the call out;
    // apart from m_mutex, so the tap never runs under the senders' lock.
    std::mutex m_tapMutex;
    FrameTap* m_tap = nullptr;
    int m_light = 0;
    bool m_suspended = true;
    bool m_paused = false;
    bool m_terminate = false;
    long long m_cycles = 0;
    std::array<std::thread, 3> m_senders; // indexed like the screens
};
