#pragma once

#include "Commands.h"
#include "LinkConfig.h"
#include "ScreenLink.h"

#include "core/ScreenId.h"

#include <array>
#include <memory>

// The station's whole link: the three screens' listeners and senders, the one
// command buffer and the one sequence counter they share. Owned by the main
// window (or a tool); the worker's senders (one per screen, at the same time)
// and the user-interface thread's sequences use it through screen(). Each
// screen is thread-safe as described on ScreenLink; the command buffer and the
// counter are shared by all of them and safe for concurrent use.
class StationLink {
public:
    explicit StationLink(LinkConfig config);

    const LinkConfig& config() const { return m_config; }
    ScreenLink& screen(ScreenId id) {
        return *m_screens[static_cast<std::size_t>(ScreenIndex(id))];
    }
    CommandBuffer& commands() { return m_commands; }
    PacketSeq& packetSeq() { return m_seq; }

    void DeactivateAll();

    // Blocking search for tools and tests: sends Search on the screen, collects
    // answers for `window`, ends the window and returns the entries. The station
    // itself runs the window on a timer (BeginSearch / EndSearch).
    CardList Search(ScreenId id, std::chrono::milliseconds window = LinkBudgets::kSearchWindow);

private:
    const LinkConfig m_config;
    PacketSeq m_seq;
    CommandBuffer m_commands;
    std::array<std::unique_ptr<ScreenLink>, 3> m_screens;
};
