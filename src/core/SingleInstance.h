#pragma once

#include <QLockFile>
#include <QString>

// The directory that holds the lock by default: the temporary directory.
QString DefaultLockDirectory();

// The station runs once per user session: a lock file named after the
// single-instance name "RunOnlyOneTessaly" (and the user id, so two users on
// one machine do not lock each other out) in a directory. The lock is held
// until the object is destroyed. Use from one thread.
class SingleInstanceLock {
public:
    explicit SingleInstanceLock(const QString& directory = DefaultLockDirectory());
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // True when this process now holds the lock. False when another live
    // process holds it, however long it has been running, or when the file
    // cannot be created. A lock left by a crashed process (its PID no longer
    // runs, or now runs another program) is taken over.
    bool TryAcquire();
    QString path() const;

private:
    QString m_path;
    QLockFile m_lock;
};
