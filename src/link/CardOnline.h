#pragma once

#include "core/ScreenId.h"
#include "core/Settings.h"

#include <array>
#include <atomic>

// Which cards of each screen are known to be connected: one flag per entry of
// the screen's card list (at most kMaxCards), indexed like the list. The
// connect sequence clears and fills them; the screen's sender clears a card's
// flag when a transfer to it fails and sets it when it reconnects the card;
// the disconnect sequence clears the flags of cards that said goodbye.
//
// Thread use: any thread; each flag is atomic. An index outside the list's
// range reads as offline and ignores writes.
class CardOnline {
public:
    bool get(ScreenId screen, int index) const;
    void set(ScreenId screen, int index, bool online);
    // Every flag of the screen off.
    void clear(ScreenId screen);
    // Number of flags on.
    int count(ScreenId screen) const;

private:
    std::array<std::array<std::atomic<bool>, kMaxCards>, 3> m_flags{};
};
