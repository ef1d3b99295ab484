#pragma once

#include "Commands.h"
#include "LinkConfig.h"
#include "LinkReply.h"
#include "UdpBinding.h"

#include "core/ScreenId.h"
#include "core/Settings.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// How long a sender waits for a reply: attempts, each a wait of steps × step
// milliseconds. The wait ends as soon as the listener reports the reply.
struct WaitBudget {
    int attempts = 1;
    int steps = 0;
    int stepMs = 1;
    std::chrono::milliseconds PerAttempt() const {
        return std::chrono::milliseconds(static_cast<long long>(steps) * stepMs);
    }
};

// The budgets of the link's users.
namespace LinkBudgets {
inline constexpr WaitBudget kFrameConnect{1, 25, 1};       // worker, horizontal screen
inline constexpr WaitBudget kFrameConnectSlow{1, 50, 1};   // worker, vertical and small screen
inline constexpr WaitBudget kFrameSlice{20, 25, 1};        // worker, WriteData and SwapBuffer
inline constexpr WaitBudget kConnectSequence{5, 100, 1};   // operator connect: Connect, SyncMode
inline constexpr WaitBudget kDisconnectSequence{2, 50, 1}; // operator disconnect
inline constexpr WaitBudget kServiceOperation{1, 100, 5};  // move card, parameter load
inline constexpr WaitBudget kOfflineTransfer{20, 25, 1};   // Connect, OfflineMode, WriteFlash
inline constexpr std::chrono::milliseconds kSearchWindow{400};
inline constexpr std::chrono::milliseconds kBrightnessGap{10};
inline constexpr WaitBudget ConnectForFrame(ScreenId screen) {
    return screen == ScreenId::h ? kFrameConnect : kFrameConnectSlow;
}
} // namespace LinkBudgets

struct LinkStatus {
    bool ok = true;
    QString message;
    explicit operator bool() const { return ok; }
};

// Counters of one listener, for the communication monitor and tests.
struct ListenerStats {
    long long received = 0;        // datagrams that reached a binding
    long long matched = 0;         // replies that released the sender
    long long cardsAdded = 0;      // card list entries added by searches
    long long ownIgnored = 0;      // the station's own datagrams heard during a search
    long long broadcastsHeard = 0; // of `received`, those sent to 255.255.255.255
    long long sendFailures = 0;    // copies the system refused to send
};

// One screen's end of the link (the listener IdUDPServer_h/_s/_x and its
// senders): one binding per local address on the screen's station port, each
// with its receive thread; every command goes to the target at the screen's
// card port through every binding, so one copy leaves on each interface.
// Replies are matched against the screen's LinkReply; during a search, card
// information datagrams fill the screen's card list.
//
// Cards have no IP address of their own and may answer to 255.255.255.255 at
// the station port instead of to the sender. A socket bound to one address
// never receives such a datagram on Linux, so when a bound address sits on an
// interface that carries broadcasts, the listener also opens one broadcast
// receiver on its port (bound to 255.255.255.255) and takes from it what
// arrived on the interfaces of its bound addresses, as if that interface's
// binding had received it. Unicast and broadcast land on different sockets, so
// nothing is heard twice; loopback carries no broadcasts and gets no receiver.
//
// Thread use: Activate, Deactivate, Transact, SendUnanswered and BeginSearch may
// be called from the user-interface thread or the worker's sender of this
// screen. Exchanges are serialised per screen (one sender at a time, as the
// design expects, and enforced here); different screens' exchanges run at the
// same time, each with its own bindings and LinkReply. The listener threads
// only touch the LinkReply and the card list, both guarded.
//
// The worker's sender also keeps several commands outstanding at once, one per
// card of the screen (see TLedThread): commands with a sequence byte are built
// with a claim from SeqClaimFor, sent with Post and retired with Retire; a
// command without one opens the screen's exchange with OpenExchange, which
// stays open (other exchanges of the screen wait) until CloseExchange.
// WaitReplies reports both kinds of answer. These functions are for that one
// sender.
class ScreenLink {
public:
    ScreenLink(ScreenId screen, LinkConfig config);
    ~ScreenLink();
    ScreenLink(const ScreenLink&) = delete;
    ScreenLink& operator=(const ScreenLink&) = delete;

    ScreenId screen() const { return m_screen; }
    const LinkConfig& config() const { return m_config; }

    // Rebuilds the bindings: clears them, binds each local address, and makes the
    // listener active when at least one binding stands. A failed address is
    // named in the message; the others stay bound. Also opens the broadcast
    // receiver when a bound address is on a broadcast interface; its failure is
    // reported the same way.
    LinkStatus Activate();
    // Activates only when not active.
    LinkStatus EnsureActive();
    void Deactivate();
    bool IsActive() const;
    std::vector<Ipv4Address> BoundAddresses() const;
    // Whether broadcast answers are heard (a broadcast receiver is open).
    bool HearsBroadcasts() const;

    // Arms the reply for `command`, sends it and waits, up to budget.attempts
    // times with the identical datagram (same sequence byte). True when the
    // awaited reply arrived. Nothing is sent or waited for while the listener
    // is inactive; an attempt whose copies the system all refused (a full
    // queue, a network that is down for a moment) still waits its time, and
    // the next attempt sends again.
    bool Transact(const Command& command, const WaitBudget& budget);
    // Arms the command's awaited code (so arriving datagrams are judged by it)
    // and sends without waiting. Returns the number of copies sent.
    int SendUnanswered(const Command& command);

    // A claim for CommandBuffer's builders: takes a sequence byte this screen
    // can tell apart from every other outstanding one, entered in the reply
    // table for `awaited`. Bytes still quiet after an earlier retired command
    // are passed over while others remain (see LinkReply).
    CommandBuffer::SeqClaim SeqClaimFor(int awaited);
    // Sends a command whose sequence byte was claimed, without waiting: the
    // first copy or a retry of the identical datagram. Returns the number of
    // bindings the copies went through (0: the listener is inactive).
    int Post(const Command& command);
    // Ends the table entry of a claimed byte. With `lateAnswers` (the command
    // went out more than once, or was never answered) the byte stays quiet for
    // kLateAnswerWindow, so a late answer to it cannot complete a newer command.
    void Retire(std::uint8_t seq, bool lateAnswers);
    static constexpr std::chrono::milliseconds kLateAnswerWindow{500};
    // Opens the screen's exchange for a command without sequence byte (waiting
    // for any other exchange of the screen to end), arms its reply and sends
    // it without waiting; called again for a retry. Returns the bindings, as Post.
    int OpenExchange(const Command& command);
    // Ends the exchange OpenExchange opened; nothing when none is open.
    void CloseExchange();
    // Waits until a claimed command is answered, or (with `watchExchange`) the
    // open exchange's reply arrived, or `until`. Appends the answered bytes to
    // `answered`; returns whether the exchange's reply has arrived.
    bool WaitReplies(std::chrono::steady_clock::time_point until, bool watchExchange,
                     std::vector<std::uint8_t>& answered);

    // Starts a search: clears the card list, awaits card information and sends
    // `search` (activating the listener when needed). The caller ends the
    // collection window with EndSearch (or Deactivate).
    LinkStatus BeginSearch(const Command& search);
    // Ends the collection window: the listener becomes inactive, later answers are lost.
    void EndSearch();
    // The entries collected so far, in arrival order, at most kMaxCards.
    CardList Cards() const;
    void ClearCards();

    LinkReply& reply() { return m_reply; }
    ListenerStats stats() const;

    // Tests: asked before each copy is handed to the system; a copy it returns
    // true for fails as one the system refused (ENETDOWN). Reproduces send
    // failures that loopback cannot produce. Empty (the default): no failures.
    using SendFault = std::function<bool(Ipv4Address local)>;
    void SetSendFault(SendFault fault);

    // Runs the receive rules on one datagram as if it had arrived on a binding
    // of this listener with the given sender. The receive threads call it; tests
    // use it to present datagrams no real peer could send (the station's own
    // broadcast). Called on a listener thread.
    void HandleDatagram(std::span<const std::uint8_t> datagram, Ipv4Address from,
                        std::uint16_t fromPort);

private:
    struct SendOutcome {
        int bindings = 0; // bindings the copies went through
        int sent = 0;     // copies the system took
    };
    SendOutcome SendThroughBindings(const Command& command);
    void OnBroadcast(std::span<const std::uint8_t> datagram, Ipv4Address from,
                     std::uint16_t fromPort, int interfaceIndex);
    void ApplyReceiveRules(std::span<const std::uint8_t> datagram, Ipv4Address from,
                           std::uint16_t fromPort);
    LinkStatus ActivateLocked();
    void DeactivateLocked();

    const ScreenId m_screen;
    const LinkConfig m_config;
    LinkReply m_reply;

    std::mutex m_exchangeMutex; // one exchange at a time on this screen
    // Held by the worker's sender from OpenExchange to CloseExchange.
    std::unique_lock<std::mutex> m_openExchange{m_exchangeMutex, std::defer_lock};
    std::mutex m_activationMutex; // one Activate/Deactivate at a time
    // Guards the bindings and own addresses; never held while a receive thread
    // is joined, since those threads read the own addresses.
    mutable std::mutex m_bindingsMutex;
    std::vector<std::unique_ptr<UdpBinding>> m_bindings;
    std::unique_ptr<UdpBinding> m_broadcastReceiver;
    // Interfaces of the bound addresses whose broadcasts the listener takes.
    std::vector<int> m_broadcastInterfaces;
    SendFault m_sendFault;
    // The station's own endpoints, so its own broadcast is never taken for a card.
    std::vector<Ipv4Address> m_ownAddresses;

    mutable std::mutex m_cardsMutex;
    CardList m_cards;

    std::atomic<long long> m_received{0};
    std::atomic<long long> m_cardsAdded{0};
    std::atomic<long long> m_ownIgnored{0};
    std::atomic<long long> m_broadcastsHeard{0};
    std::atomic<long long> m_sendFailures{0};
};
