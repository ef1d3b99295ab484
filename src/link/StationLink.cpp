#include "StationLink.h"

#include <thread>

StationLink::StationLink(LinkConfig config) : m_config(std::move(config)), m_commands(m_seq) {
    for (ScreenId id : kAllScreens) {
        m_screens[static_cast<std::size_t>(ScreenIndex(id))] =
            std::make_unique<ScreenLink>(id, m_config);
    }
}

void StationLink::DeactivateAll() {
    for (auto& screen : m_screens) {
        screen->Deactivate();
    }
}

CardList StationLink::Search(ScreenId id, std::chrono::milliseconds window) {
    ScreenLink& link = screen(id);
    if (!link.BeginSearch(m_commands.Search())) {
        link.EndSearch();
        return link.Cards();
    }
    std::this_thread::sleep_for(window);
    link.EndSearch();
    return link.Cards();
}
