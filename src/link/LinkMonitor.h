#pragma once

#include <QString>
#include <QStringList>
#include <QTime>

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

// The link's side of the communication monitor window (TjianceForm): the worker
// thread reports failed transfers here, and the lines are kept only while the
// window is visible, as the window shows nothing else. The window pulls the kept
// lines on the user-interface thread; a notifier lets it schedule that pull.
//
// Thread use: AddLine from any thread (the worker's senders, several at once:
// each line is kept whole, lines of different screens interleave); the rest
// from the user-interface thread. Everything is guarded, so the notifier may
// also be set while the worker runs.
class LinkMonitor {
public:
    // A kept line with the moment it was added: a time-out read minutes later
    // must say when the card stopped answering.
    struct Entry {
        QTime at;
        QString text;
    };

    // The window was shown or hidden. Hiding drops the lines not yet taken.
    void SetVisible(bool visible);
    bool IsVisible() const;

    // Keeps the line while the window is visible, otherwise drops it. Any thread.
    void AddLine(const QString& line);
    // The lines kept since the last call, oldest first.
    QStringList TakeLines();
    // The same with their times.
    std::vector<Entry> TakeEntries();
    // Called on the adding thread after a line was kept, possibly on two
    // threads at once; it must not block (the user interface posts a queued
    // call that runs TakeLines).
    void SetNotifier(std::function<void()> notifier);
    // Lines kept since construction (dropped ones not counted).
    long long LinesKept() const;

    // A window that never pulls must not make the station run out of memory:
    // beyond this many untaken lines the oldest are dropped.
    static constexpr std::size_t kMaxPending = 10000;

private:
    mutable std::mutex m_mutex;
    bool m_visible = false;
    std::deque<Entry> m_pending;
    std::function<void()> m_notifier;
    long long m_kept = 0;
};
