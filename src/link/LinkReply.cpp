#include "LinkReply.h"

#include "Replies.h"

void LinkReply::Arm(int awaited, std::optional<std::uint8_t> expectedSeq) {
    std::lock_guard lock(m_mutex);
    m_awaited = awaited;
    if (expectedSeq) {
        m_expectedSeq = *expectedSeq;
    }
    m_arrived = false;
}

bool LinkReply::WaitArrived(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [this] { return m_arrived; });
}

bool LinkReply::Offer(std::span<const std::uint8_t> datagram) {
    std::unique_lock lock(m_mutex);
    if (!MatchesReply(m_awaited, m_expectedSeq, datagram)) {
        return false;
    }
    m_arrived = true;
    ++m_matches;
    lock.unlock();
    m_changed.notify_all();
    return true;
}

int LinkReply::awaited() const {
    std::lock_guard lock(m_mutex);
    return m_awaited;
}

int LinkReply::expectedSeq() const {
    std::lock_guard lock(m_mutex);
    return m_expectedSeq;
}

bool LinkReply::arrived() const {
    std::lock_guard lock(m_mutex);
    return m_arrived;
}

long long LinkReply::matches() const {
    std::lock_guard lock(m_mutex);
    return m_matches;
}
