#pragma once

#include "IoStatus.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The one way the station replaces a file. The bytes go to a temporary file
// beside the target; commit flushes it to the disk, renames it over the target
// and flushes the directory, so that a crash, a kill or a power cut at any
// moment leaves either the old file or the new one, never a part of either.
// A file that was there keeps its permissions; a symbolic link keeps pointing
// where it did and its target is replaced.
//
// One object is used by one thread at a time; separate objects may be used on
// separate threads at once (the show journal writes on a thread of its own).
class AtomicFile {
public:
    explicit AtomicFile(QString path);
    // An uncommitted file is dropped: the target stays as it was.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The file the bytes will replace (the target of a symbolic link).
    const QString& target() const { return m_target; }

    // Creates the temporary file. Fails when the directory does not exist or
    // cannot be written.
    IoStatus open();
    // Appends. After the first failure every further write fails too, and
    // commit reports that first failure.
    bool write(QByteArrayView bytes);
    // Writes over bytes already written, at `offset` from the start (a table
    // filled in once everything after it is known).
    bool writeAt(qint64 offset, QByteArrayView bytes);
    // The first failure so far (it names the target), or ok.
    IoStatus status() const;
    // Puts the file in place. On failure the target is as it was and the
    // temporary file is gone.
    IoStatus commit();
    // Like commit, but only when no file of that name exists by then; a file
    // that appeared meanwhile is left alone and the result says so.
    enum class Publish { Done, Exists, Failed };
    Publish commitIfAbsent(QString* error = nullptr);
    // Drops the temporary file.
    void cancel();

    // Exact permissions for a target that does not exist yet (otherwise 0666
    // less the umask). An existing target keeps its own. Before open().
    void setNewFilePermissions(unsigned mode) { m_newMode = mode; }

private:
    bool Fail(const QString& reason);
    bool FlushAndClose();
    void SyncDirectory() const;
    IoStatus Failure() const;

    QString m_target;
    QString m_temp;
    int m_fd = -1;
    qint64 m_size = 0;
    QString m_error;
    std::optional<unsigned> m_newMode;
};

// A writer killed in the middle leaves its temporary file beside the target;
// this removes those of `path` (no other writer of it may be running).
void RemoveLeftoverTemporaryFiles(const QString& path);

// Replaces the file with `bytes` through an AtomicFile.
IoStatus WriteFileAtomically(const QString& path, const QByteArray& bytes);
