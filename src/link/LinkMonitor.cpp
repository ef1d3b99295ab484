#include "LinkMonitor.h"

void LinkMonitor::SetVisible(bool visible) {
    std::lock_guard lock(m_mutex);
    m_visible = visible;
    if (!visible) {
        m_pending.clear();
    }
}

bool LinkMonitor::IsVisible() const {
    std::lock_guard lock(m_mutex);
    return m_visible;
}

void LinkMonitor::AddLine(const QString& line) {
    std::function<void()> notifier;
    {
        std::lock_guard lock(m_mutex);
        if (!m_visible) {
            return;
        }
        // Read under the lock: the C library sets up its time zone on the first
        // call with a lock of its own that ThreadSanitizer cannot see, and two
        // sender threads may make that first call together.
        const QTime now = QTime::currentTime();
        // A deep copy: the caller's string (and its reference count) stays with
        // the caller's thread.
        m_pending.push_back(Entry{now, QString(line.constData(), line.size())});
        if (m_pending.size() > kMaxPending) {
            m_pending.pop_front();
        }
        ++m_kept;
        notifier = m_notifier;
    }
    if (notifier) {
        notifier();
    }
}

QStringList LinkMonitor::TakeLines() {
    QStringList lines;
    for (Entry& entry : TakeEntries()) {
        lines.append(std::move(entry.text));
    }
    return lines;
}

std::vector<LinkMonitor::Entry> LinkMonitor::TakeEntries() {
    std::deque<Entry> taken;
    {
        std::lock_guard lock(m_mutex);
        taken.swap(m_pending);
    }
    return {std::make_move_iterator(taken.begin()), std::make_move_iterator(taken.end())};
}

void LinkMonitor::SetNotifier(std::function<void()> notifier) {
    std::lock_guard lock(m_mutex);
    m_notifier = std::move(notifier);
}

long long LinkMonitor::LinesKept() const {
    std::lock_guard lock(m_mutex);
    return m_kept;
}
