#include "QtControllerTimer.h"

#include <algorithm>

QtControllerTimer::QtControllerTimer() {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (m_handler) {
            m_handler();
        }
    });
}

void QtControllerTimer::SetHandler(std::function<void()> handler) {
    m_handler = std::move(handler);
}

void QtControllerTimer::Start(int intervalMs) {
    m_timer.start(std::max(intervalMs, 0));
}

void QtControllerTimer::Stop() {
    m_timer.stop();
}

bool QtControllerTimer::IsActive() const {
    return m_timer.isActive();
}
