#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

// Runs the event loop until the condition holds or the limit passes; the way
// these tests wait for anything that arrives through events.
inline bool ProcessEventsUntil(const std::function<bool()>& condition, int limitMs = 5000) {
    QDeadlineTimer deadline(limitMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
