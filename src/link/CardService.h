#pragma once

#include "LedThread.h"
#include "MacAddress.h"
#include "StationLink.h"

#include "core/Operator.h"
#include "core/ScreenId.h"

#include <cstdint>
#include <span>

// The service operations on the cards of a screen while the station is not
// connected: the search that fills a card list, loading a parameter block into
// a card, and moving a card to another screen. Each reports to the operator
// with the messages a technician knows ("->连接超时！", "->加载成功！"...).
//
// The waits run on a helper thread while the operator interface keeps the
// window's events running. The worker must be suspended (the station is not
// connected); every operation holds it before it uses the link.
// User-interface thread only; everything given must outlive the object.
class CardService {
public:
    CardService(StationLink& link, TLedThread& worker, OperatorInterface& op);

    // Opens the screen's collection window: clears its list and sends Search.
    // A listener that cannot be bound is reported; the search then finds nothing.
    void BeginSearch(ScreenId screen);
    // Closes the window (later answers are lost) and returns what answered, in
    // arrival order, each card once, at most kMaxCards.
    CardList FinishSearch(ScreenId screen);

    // Connect, LoadParameters, Disconnect: one card, one attempt per step.
    // True when the card acknowledged the block. The listener is left inactive.
    bool LoadParameters(ScreenId screen, const MacAddress& mac,
                        std::span<const std::uint8_t, kParamBlockSize> block, bool startOffline);
    // Connect and AssignScreen through the `from` screen's listener; the card
    // answers on `to`'s ports afterwards. True on "->设置成功！".
    bool MoveCard(ScreenId from, ScreenId to, const MacAddress& mac, bool startOffline);

private:
    bool Exchange(ScreenId screen, const Command& command);
    void Activate(ScreenId screen);
    // Connect, one attempt; on time-out the listener closes and "->连接超时！" is shown.
    bool ConnectOrReport(ScreenId screen, const MacAddress& mac);
    void HoldWorker();

    StationLink& m_link;
    TLedThread& m_worker;
    OperatorInterface& m_op;
};
