#include "ShowJournal.h"

#include "core/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

#include <sys/resource.h>
#include <unistd.h>

namespace {

std::optional<QByteArray> ReadSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    // A journal is a few kilobytes; a script copy rarely more than a hundred.
    constexpr qint64 kLimit = 64 * 1024 * 1024;
    if (file.size() > kLimit) {
        return std::nullopt;
    }
    return file.readAll();
}

} // namespace

ShowJournal::ShowJournal(QString journalPath, QString copyPath, std::chrono::milliseconds settle)
    : m_journalPath(std::move(journalPath)), m_copyPath(std::move(copyPath)), m_settle(settle),
      m_thread([this] { Run(); }) {}

ShowJournal::~ShowJournal() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void ShowJournal::Record(const ShowState& state) {
    {
        std::lock_guard lock(m_mutex);
        m_pending.state = state;
        ++m_recordedCount;
    }
    m_wake.notify_one();
}

void ShowJournal::RecordCopy(const std::optional<ScriptCopy>& copy) {
    {
        std::lock_guard lock(m_mutex);
        m_pending.copyChanged = true;
        m_pending.copy = copy;
        ++m_recordedCount;
    }
    m_wake.notify_one();
}

bool ShowJournal::WaitWritten(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_recordedCount;
    m_urgent = true;
    m_wake.notify_all();
    const bool written = m_written.wait_for(lock, limit, [&] { return m_writtenCount >= target; });
    m_urgent = false;
    return written;
}

void ShowJournal::WriteNow() {
    // The file lock first: a write the thread has begun ends before this one,
    // so the state written here is the one that stays.
    std::lock_guard files(m_fileMutex);
    Pending pending;
    std::uint64_t count = 0;
    {
        std::lock_guard lock(m_mutex);
        pending = std::exchange(m_pending, Pending{});
        count = m_recordedCount;
    }
    Write(pending);
    {
        std::lock_guard lock(m_mutex);
        m_writtenCount = std::max(m_writtenCount, count);
    }
    m_written.notify_all();
}

std::optional<QString> ShowJournal::TakeFailure() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_failure, std::nullopt);
}

void ShowJournal::Run() {
    // The journal gives way to the threads that render and send the show.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_writtenCount < m_recordedCount; });
        if (m_writtenCount >= m_recordedCount) {
            return; // stopping with nothing left to write
        }
        m_wake.wait_for(lock, m_settle, [this] { return m_stopping || m_urgent; });
        lock.unlock();
        WriteNow();
        lock.lock();
    }
}

void ShowJournal::Write(const Pending& pending) {
    if (!pending.state && !pending.copyChanged) {
        return;
    }
    QString failure;
    const QString dir = QFileInfo(m_journalPath).absolutePath();
    if (!QDir().mkpath(dir)) {
        failure = WriteFailedMessage(dir);
    }
    if (failure.isEmpty() && pending.copyChanged) {
        if (pending.copy) {
            const IoStatus written =
                WriteFileAtomically(m_copyPath, ScriptCopyToJson(*pending.copy));
            if (!written) {
                failure = written.message;
            }
        } else {
            QFile::remove(m_copyPath);
        }
    }
    if (failure.isEmpty() && pending.state) {
        const IoStatus written =
            WriteFileAtomically(m_journalPath, ShowStateToJson(*pending.state));
        if (!written) {
            failure = written.message;
        }
    }
    if (!failure.isEmpty()) {
        std::lock_guard lock(m_mutex);
        m_failure = failure;
    }
}

std::optional<ShowState> ShowJournal::ReadJournal(const QString& path) {
    const std::optional<QByteArray> bytes = ReadSmallFile(path);
    return bytes ? ShowStateFromJson(*bytes) : std::nullopt;
}

std::optional<ScriptCopy> ShowJournal::ReadCopy(const QString& path) {
    const std::optional<QByteArray> bytes = ReadSmallFile(path);
    return bytes ? ScriptCopyFromJson(*bytes) : std::nullopt;
}
