#include "MirrorShow.h"

#include "MirrorProtocol.h"

#include "core/AtomicFile.h"
#include "documents/Playlist.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

namespace {

// A single file larger than this is not sent (an hour of MP3 fits).
constexpr qint64 kMaxMirroredFile = 48LL * 1024 * 1024;

QStringList FilesOf(const QStringList& entries) {
    QStringList files;
    for (const QString& entry : entries) {
        for (const QString& path : {entry, PartnerPath(entry)}) {
            if (!path.isEmpty() && !files.contains(path)) {
                files << path;
            }
        }
    }
    return files;
}

} // namespace

QString ShowFilesKey(const QStringList& entries) {
    QString key = entries.join(QLatin1Char('\n'));
    for (const QString& path : FilesOf(entries)) {
        const QFileInfo info(path);
        key += QStringLiteral("\n%1:%2:%3")
                   .arg(path)
                   .arg(info.exists() ? info.size() : -1)
                   .arg(info.exists() ? info.lastModified().toMSecsSinceEpoch() : 0);
    }
    return key;
}

MirrorShowContent CollectShow(const QStringList& entries) {
    MirrorShowContent show;
    show.entries = entries;
    qint64 total = 0;
    for (const QString& path : FilesOf(entries)) {
        QFile file(path);
        if (file.size() > kMaxMirroredFile || !file.open(QIODevice::ReadOnly)) {
            continue;
        }
        QByteArray bytes = file.read(kMaxMirroredFile + 1);
        // Base64 grows by a third; the whole message must stay under the cap.
        if (bytes.size() > kMaxMirroredFile ||
            (total + bytes.size()) * 4 / 3 + 65536 > qint64(kMaxMirrorMessage)) {
            continue;
        }
        total += bytes.size();
        show.files.append({path, std::move(bytes)});
    }
    return show;
}

QJsonObject ShowToMessage(const MirrorShowContent& show) {
    QJsonArray files;
    for (const MirroredFile& file : show.files) {
        files.append(
            QJsonObject{{QStringLiteral("path"), file.path},
                        {QStringLiteral("data"), QString::fromLatin1(file.bytes.toBase64())}});
    }
    return QJsonObject{{QStringLiteral("t"), QString::fromLatin1(mirror::kShow)},
                       {QStringLiteral("entries"), QJsonArray::fromStringList(show.entries)},
                       {QStringLiteral("files"), files}};
}

std::optional<MirrorShowContent> ShowFromMessage(const QJsonObject& message) {
    const QJsonValue entries = message.value(QStringLiteral("entries"));
    const QJsonValue files = message.value(QStringLiteral("files"));
    if (!entries.isArray() || !files.isArray()) {
        return std::nullopt;
    }
    MirrorShowContent show;
    for (const QJsonValue& entry : entries.toArray()) {
        if (!entry.isString()) {
            return std::nullopt;
        }
        show.entries << entry.toString();
    }
    for (const QJsonValue& value : files.toArray()) {
        const QJsonObject file = value.toObject();
        const QString path = file.value(QStringLiteral("path")).toString();
        const QJsonValue data = file.value(QStringLiteral("data"));
        if (PlacedPath(QStringLiteral("/"), path).isEmpty() || !data.isString()) {
            return std::nullopt;
        }
        const auto decoded = QByteArray::fromBase64Encoding(
            data.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            return std::nullopt;
        }
        show.files.append({path, *decoded});
    }
    return show;
}

QString PlacedPath(const QString& dir, const QString& mainPath) {
    // Only the name is taken from the other side; the folder is ours, named
    // by a digest of theirs, so no path from the network can reach outside.
    const qsizetype slash = mainPath.lastIndexOf(QLatin1Char('/'));
    const QString name = mainPath.mid(slash + 1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.contains(QLatin1Char('\\')) || name.contains(QChar(0))) {
        return {};
    }
    const QString folder = slash < 0 ? QString() : mainPath.left(slash);
    const QString digest = QString::fromLatin1(
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
    return QDir(dir).filePath(digest + QLatin1Char('/') + name);
}

std::optional<QStringList> PlaceShow(const MirrorShowContent& show, const QString& dir,
                                     QString* error, bool* changed) {
    for (const MirroredFile& file : show.files) {
        const QString local = PlacedPath(dir, file.path);
        if (local.isEmpty() || !QDir().mkpath(QFileInfo(local).absolutePath())) {
            *error = QStringLiteral("无法建立目录：") + QFileInfo(local).absolutePath();
            return std::nullopt;
        }
        QFile existing(local);
        if (existing.open(QIODevice::ReadOnly) && existing.readAll() == file.bytes) {
            continue;
        }
        if (const IoStatus written = WriteFileAtomically(local, file.bytes); !written) {
            *error = written.message;
            return std::nullopt;
        }
        if (changed != nullptr) {
            *changed = true;
        }
    }
    QStringList entries;
    for (const QString& entry : show.entries) {
        const QString local = PlacedPath(dir, entry);
        entries << (local.isEmpty() ? entry : local);
    }
    return entries;
}
