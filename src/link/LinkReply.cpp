#include "LinkReply.h"

#include "Commands.h"
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

bool LinkReply::ExchangeAwaitsLocked(std::uint8_t seq) const {
    return !m_arrived && (m_awaited == kAwaitWritten || m_awaited == kAwaitSwapped) &&
           m_expectedSeq == seq;
}

bool LinkReply::Claim(std::uint8_t seq, int awaited, bool evenIfQuiet) {
    std::lock_guard lock(m_mutex);
    Entry& entry = m_entries[seq];
    if (entry.state != EntryState::Free || ExchangeAwaitsLocked(seq) ||
        (!evenIfQuiet && Clock::now() < entry.quietUntil)) {
        return false;
    }
    entry.state = EntryState::Outstanding;
    entry.awaited = awaited;
    ++m_outstanding;
    return true;
}

void LinkReply::Release(std::uint8_t seq, Clock::time_point quietUntil) {
    std::lock_guard lock(m_mutex);
    Entry& entry = m_entries[seq];
    if (entry.state == EntryState::Free) {
        return;
    }
    entry.state = EntryState::Free;
    entry.quietUntil = quietUntil;
    --m_outstanding;
    // An answer the sender has not collected yet is of no use to it now.
    std::erase(m_answered, seq);
}

bool LinkReply::WaitReplies(Clock::time_point until, bool watchArrived,
                            std::vector<std::uint8_t>& answered) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_until(lock, until,
                         [&] { return !m_answered.empty() || (watchArrived && m_arrived); });
    answered.insert(answered.end(), m_answered.begin(), m_answered.end());
    m_answered.clear();
    return watchArrived && m_arrived;
}

int LinkReply::outstanding() const {
    std::lock_guard lock(m_mutex);
    return m_outstanding;
}

bool LinkReply::Offer(std::span<const std::uint8_t> datagram) {
    std::unique_lock lock(m_mutex);
    // Only a waiting exchange takes a reply: once it has its answer, a repeat
    // of that answer may belong to an entry of the table with the same byte.
    if (!m_arrived && MatchesReply(m_awaited, m_expectedSeq, datagram)) {
        m_arrived = true;
    } else {
        const std::optional<SeqReply> reply =
            m_outstanding > 0 ? ParseSeqReply(datagram) : std::nullopt;
        if (!reply) {
            return false;
        }
        Entry& entry = m_entries[reply->seq];
        if (entry.state != EntryState::Outstanding || entry.awaited != reply->awaited) {
            return false;
        }
        entry.state = EntryState::Answered;
        m_answered.push_back(reply->seq);
    }
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
