#include "SingleInstance.h"

#include <QDir>

#include <unistd.h>

namespace {

QString LockFileName() {
    return QStringLiteral("RunOnlyOneTessaly-%1.lock").arg(::getuid());
}

} // namespace

QString DefaultLockDirectory() {
    return QDir::tempPath();
}

SingleInstanceLock::SingleInstanceLock(const QString& directory)
    : m_path(QDir(directory).filePath(LockFileName())), m_lock(m_path) {
    // A station runs for hours, so the age of the file says nothing: with the
    // default of 30 s a second station would start beside a first one that
    // had been up for half a minute. With 0 only an owner that no longer runs
    // makes the file stale (QLockFile checks the PID and its program name).
    m_lock.setStaleLockTime(0);
}

SingleInstanceLock::~SingleInstanceLock() = default; // QLockFile removes its file

bool SingleInstanceLock::TryAcquire() {
    if (m_lock.isLocked()) {
        return true;
    }
    return m_lock.tryLock(0);
}

QString SingleInstanceLock::path() const {
    return m_path;
}
