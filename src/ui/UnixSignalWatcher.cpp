#include "UnixSignalWatcher.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QtGlobal>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end for the handler; -1 while no watcher exists.
std::atomic<int> g_writeFd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free read");

void OnSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = g_writeFd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // Non-blocking: when the pair is full the signal is already pending
        // there many times over, so dropping this one loses nothing.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

UnixSignalWatcher::UnixSignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, m_fds) != 0) {
        qFatal("UnixSignalWatcher: socketpair failed: %s", strerror(errno));
    }
    int expected = -1;
    if (!g_writeFd.compare_exchange_strong(expected, m_fds[1])) {
        qFatal("UnixSignalWatcher: only one watcher may exist per process");
    }
    m_notifier = new QSocketNotifier(m_fds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UnixSignalWatcher::ReadPending);

    for (const int signalNumber : signalNumbers) {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        // Restarted system calls: a signal in the middle of a file write must
        // not turn into a failed save.
        action.sa_flags = SA_RESTART;
        Previous previous{signalNumber, {}};
        if (::sigaction(signalNumber, &action, &previous.action) == 0) {
            m_previous.push_back(previous);
        } else {
            qWarning("UnixSignalWatcher: cannot watch signal %d", signalNumber);
        }
    }
}

UnixSignalWatcher::~UnixSignalWatcher() {
    // Handlers first, so none of them writes to a closed descriptor.
    for (auto it = m_previous.rbegin(); it != m_previous.rend(); ++it) {
        ::sigaction(it->signalNumber, &it->action, nullptr);
    }
    g_writeFd.store(-1);
    delete m_notifier;
    ::close(m_fds[0]);
    ::close(m_fds[1]);
}

void UnixSignalWatcher::ReadPending() {
    QByteArray numbers;
    unsigned char bytes[64];
    for (;;) {
        const ssize_t n = ::read(m_fds[0], bytes, sizeof bytes);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        numbers.append(reinterpret_cast<const char*>(bytes), n);
    }
    // A receiver may close the window that owns this watcher, or run a dialog
    // in which the next signal arrives; everything was read before the first
    // emit, and nothing here touches the watcher once it is gone.
    const QPointer<UnixSignalWatcher> alive(this);
    for (const char number : std::as_const(numbers)) {
        if (alive.isNull()) {
            return;
        }
        emit received(static_cast<unsigned char>(number));
    }
}
