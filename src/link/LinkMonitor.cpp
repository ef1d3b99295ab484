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
    const QTime now = QTime::currentTime();
    {
        std::lock_guard lock(m_mutex);
        if (!m_visible) {
            return;
        }
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
