#include "AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// strerror is not safe while the journal thread writes too.
QString ErrorText(int error) {
    char buffer[256] = {};
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
#else
    ::strerror_r(error, buffer, sizeof buffer);
    return QString::fromLocal8Bit(buffer);
#endif
}

// Where the bytes must end up: the file a symbolic link points to (followed to
// the end, also when that file does not exist yet), or the path itself.
QString ResolveTarget(const QString& path) {
    QString target = path;
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(target);
        if (!info.isSymLink()) {
            break;
        }
        target = info.symLinkTarget();
    }
    return target;
}

// ".Config.ini.k3j9x2.tmp": hidden, and recognisably ours.
QString TemporaryPrefix(const QString& fileName) {
    return QLatin1Char('.') + fileName + QLatin1Char('.');
}
const QString kTemporarySuffix = QStringLiteral(".tmp");

int OpenExclusive(const QString& path, unsigned mode) {
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    do {
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

AtomicFile::AtomicFile(QString path) : m_target(ResolveTarget(path)) {}

AtomicFile::~AtomicFile() {
    cancel();
}

bool AtomicFile::Fail(const QString& reason) {
    if (m_error.isEmpty()) {
        m_error = reason.isEmpty() ? QStringLiteral("?") : reason;
    }
    return false;
}

IoStatus AtomicFile::Failure() const {
    return IoStatus::Fail(WriteFailedMessage(m_target, m_error));
}

IoStatus AtomicFile::status() const {
    return m_error.isEmpty() ? IoStatus::Ok() : Failure();
}

IoStatus AtomicFile::open() {
    cancel();
    m_error.clear();
    m_size = 0;
    const QFileInfo info(m_target);
    const QString dir = info.absolutePath();
    // Renaming over a file needs only the directory's permission; a file the
    // operator made read-only stays protected all the same.
    const QByteArray target = QFile::encodeName(m_target);
    if (::access(target.constData(), F_OK) == 0 && ::access(target.constData(), W_OK) != 0) {
        Fail(ErrorText(errno));
        return Failure();
    }
    // Hidden, beside the target (a rename never crosses file systems), and
    // unique, so two writers of one name never share a temporary file.
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        const QString candidate =
            dir + QLatin1Char('/') + TemporaryPrefix(info.fileName()) +
            QString::number(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFull, 36) +
            kTemporarySuffix;
        m_fd = OpenExclusive(candidate, 0666);
        if (m_fd >= 0) {
            m_temp = candidate;
        } else if (errno != EEXIST) {
            Fail(ErrorText(errno));
            return Failure();
        }
    }
    if (m_fd < 0) {
        Fail(ErrorText(EEXIST));
        return Failure();
    }
    struct stat existing {};
    if (::stat(QFile::encodeName(m_target).constData(), &existing) == 0 &&
        S_ISREG(existing.st_mode)) {
        // The operator's own file keeps who may read it.
        ::fchmod(m_fd, existing.st_mode & 07777);
    } else if (m_newMode) {
        ::fchmod(m_fd, *m_newMode);
    }
    return IoStatus::Ok();
}

bool AtomicFile::writeAt(qint64 offset, QByteArrayView bytes) {
    if (m_fd < 0) {
        return Fail(QStringLiteral("not open"));
    }
    if (!m_error.isEmpty()) {
        return false;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(m_fd, bytes.data() + done, size_t(bytes.size() - done), off_t(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Fail(ErrorText(errno));
        }
        if (n == 0) {
            return Fail(ErrorText(ENOSPC));
        }
        done += n;
    }
    m_size = std::max(m_size, offset + qint64(bytes.size()));
    return true;
}

bool AtomicFile::write(QByteArrayView bytes) {
    return writeAt(m_size, bytes);
}

bool AtomicFile::FlushAndClose() {
    if (m_fd < 0) {
        return Fail(QStringLiteral("not open"));
    }
    // Without this the rename can reach the disk before the data does, and a
    // power cut leaves an empty file under the old name.
    if (m_error.isEmpty() && ::fsync(m_fd) != 0) {
        Fail(ErrorText(errno));
    }
    if (::close(m_fd) != 0 && m_error.isEmpty()) {
        Fail(ErrorText(errno));
    }
    m_fd = -1;
    return m_error.isEmpty();
}

void AtomicFile::SyncDirectory() const {
    // The rename lives in the directory: until the directory is on the disk a
    // power cut may bring back the old name. Some file systems cannot sync a
    // directory; the file is in place all the same.
    const QByteArray dir = QFile::encodeName(QFileInfo(m_target).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

IoStatus AtomicFile::commit() {
    if (!FlushAndClose()) {
        const IoStatus failed = Failure();
        cancel();
        return failed;
    }
    if (::rename(QFile::encodeName(m_temp).constData(), QFile::encodeName(m_target).constData()) !=
        0) {
        Fail(ErrorText(errno));
        const IoStatus failed = Failure();
        cancel();
        return failed;
    }
    m_temp.clear();
    SyncDirectory();
    return IoStatus::Ok();
}

AtomicFile::Publish AtomicFile::commitIfAbsent(QString* error) {
    const auto failed = [&] {
        if (error) {
            *error = m_error;
        }
        cancel();
        return Publish::Failed;
    };
    if (!FlushAndClose()) {
        return failed();
    }
    const QByteArray from = QFile::encodeName(m_temp);
    const QByteArray to = QFile::encodeName(m_target);
    // renameat2 decides atomically; file systems without it fall back to a
    // check and a plain rename.
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) {
            cancel();
            return Publish::Exists;
        }
        if (errno != EINVAL && errno != ENOSYS) {
            Fail(ErrorText(errno));
            return failed();
        }
        if (QFileInfo::exists(m_target)) {
            cancel();
            return Publish::Exists;
        }
        if (::rename(from.constData(), to.constData()) != 0) {
            Fail(ErrorText(errno));
            return failed();
        }
    }
    m_temp.clear();
    SyncDirectory();
    return Publish::Done;
}

void AtomicFile::cancel() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.isEmpty()) {
        ::unlink(QFile::encodeName(m_temp).constData());
        m_temp.clear();
    }
}

void RemoveLeftoverTemporaryFiles(const QString& path) {
    const QFileInfo info(ResolveTarget(path));
    QDir dir = info.absoluteDir();
    const QString prefix = TemporaryPrefix(info.fileName());
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (name.startsWith(prefix) && name.endsWith(kTemporarySuffix) &&
            name.size() > prefix.size() + kTemporarySuffix.size()) {
            dir.remove(name);
        }
    }
}

IoStatus WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    AtomicFile file(path);
    if (const IoStatus opened = file.open(); !opened) {
        return opened;
    }
    file.write(bytes);
    return file.commit();
}
