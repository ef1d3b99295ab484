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
        // A deep copy: the caller's string (and its reference count) stays with
        // the caller's thread.
        m_pending.push_back(QString(line.constData(), line.size()));
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
    std::deque<QString> taken;
    {
        std::lock_guard lock(m_mutex);
        taken.swap(m_pending);
    }
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(taken.size()));
    for (QString& line : taken) {
        lines.append(std::move(line));
    }
    return lines;
}

void LinkMonitor::SetNotifier(std::function<void()> notifier) {
    std::lock_guard lock(m_mutex);
    m_notifier = std::move(notifier);
}

long long LinkMonitor::LinesKept() const {
    std::lock_guard lock(m_mutex);
    return m_kept;
}
