#pragma once

#include "ShowState.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

// Keeps the show journal and the copy of unsaved script edits on the disk.
// Writing happens on a thread of its own, so a line the operator sends never
// waits for the disk; of a burst of changes only the latest state is written.
// Every write replaces the file whole (AtomicFile): a kill at any moment
// leaves the previous state or the new one.
class ShowJournal {
public:
    // `journalPath` and `copyPath` are files in one directory, made when
    // missing. A change waits `settle` before it is written, so the write
    // falls after the transfer of the line that caused it, and a burst of
    // changes is one write.
    ShowJournal(QString journalPath, QString copyPath,
                std::chrono::milliseconds settle = std::chrono::milliseconds(50));
    // Writes what is still pending, then ends the writing thread.
    ~ShowJournal();
    ShowJournal(const ShowJournal&) = delete;
    ShowJournal& operator=(const ShowJournal&) = delete;

    const QString& journalPath() const { return m_journalPath; }
    const QString& copyPath() const { return m_copyPath; }

    // User-interface thread: hands the latest state over and returns at once.
    void Record(const ShowState& state);
    // The unsaved edits as they stand; nullopt removes the copy (saved or dropped).
    void RecordCopy(const std::optional<ScriptCopy>& copy);
    // Waits until everything recorded so far has been written (or has failed),
    // without the settling time.
    // False when that took longer than `limit`.
    bool WaitWritten(std::chrono::milliseconds limit);
    // Writes everything recorded so far on the calling thread and returns when
    // it is on the disk; the last act of a clean close.
    void WriteNow();
    // The message of a write that failed since the last call, once.
    std::optional<QString> TakeFailure();

    // What the previous run left; nullopt when there is nothing of ours.
    static std::optional<ShowState> ReadJournal(const QString& path);
    static std::optional<ScriptCopy> ReadCopy(const QString& path);

private:
    struct Pending {
        std::optional<ShowState> state;
        bool copyChanged = false;
        std::optional<ScriptCopy> copy;
    };
    void Run();
    // Writes `pending`; called with no lock held.
    void Write(const Pending& pending);

    const QString m_journalPath;
    const QString m_copyPath;
    const std::chrono::milliseconds m_settle;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_written;
    Pending m_pending;                 // guarded by m_mutex
    std::uint64_t m_recordedCount = 0; // guarded by m_mutex
    std::uint64_t m_writtenCount = 0;  // guarded by m_mutex
    bool m_stopping = false;           // guarded by m_mutex
    bool m_urgent = false;             // guarded by m_mutex: someone waits, skip the settling
    std::optional<QString> m_failure;  // guarded by m_mutex
    // Only one writer touches the files at a time: the thread or WriteNow.
    std::mutex m_fileMutex;
    std::thread m_thread;
};
