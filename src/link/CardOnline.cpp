#include "CardOnline.h"

namespace {

bool InRange(int index) {
    return index >= 0 && index < kMaxCards;
}

} // namespace

bool CardOnline::get(ScreenId screen, int index) const {
    if (!InRange(index)) {
        return false;
    }
    return m_flags[static_cast<std::size_t>(ScreenIndex(screen))][static_cast<std::size_t>(index)]
        .load();
}

void CardOnline::set(ScreenId screen, int index, bool online) {
    if (!InRange(index)) {
        return;
    }
    m_flags[static_cast<std::size_t>(ScreenIndex(screen))][static_cast<std::size_t>(index)].store(
        online);
}

void CardOnline::clear(ScreenId screen) {
    for (auto& flag : m_flags[static_cast<std::size_t>(ScreenIndex(screen))]) {
        flag.store(false);
    }
}

int CardOnline::count(ScreenId screen) const {
    int on = 0;
    for (const auto& flag : m_flags[static_cast<std::size_t>(ScreenIndex(screen))]) {
        on += flag.load() ? 1 : 0;
    }
    return on;
}
