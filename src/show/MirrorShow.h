#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The playlist a main station shows, with the files behind it, so a station
// that follows it needs no shared disk: each entry and its partner (the
// lyric of a track, the track of a lyric or subtitle file).
struct MirroredFile {
    QString path; // as the main station knows it
    QByteArray bytes;
    bool operator==(const MirroredFile&) const = default;
};

struct MirrorShowContent {
    QStringList entries;
    QList<MirroredFile> files;
    bool operator==(const MirrorShowContent&) const = default;
};

// What tells, without reading them, whether the files changed: the entries,
// and each file's size and modification time.
QString ShowFilesKey(const QStringList& entries);
// Reads the files of `entries`; a file that cannot be read, or is larger
// than a message may carry, is left out (the follower then lacks it too, as
// the main station's own list shows it missing).
MirrorShowContent CollectShow(const QStringList& entries);

QJsonObject ShowToMessage(const MirrorShowContent& show);
// nullopt when the message is not a show (a missing list, a file without a name).
std::optional<MirrorShowContent> ShowFromMessage(const QJsonObject& message);

// Where the follower keeps a file of the main station's below `dir`: one
// folder per folder of the main station, the file's own name kept (a track
// and its lyric stay partners). Empty for a path without a usable name.
QString PlacedPath(const QString& dir, const QString& mainPath);
// Writes the files below `dir` (*changed: some file was new or different);
// the entries as the follower opens them, or nullopt and the reason when a
// file could not be written.
std::optional<QStringList> PlaceShow(const MirrorShowContent& show, const QString& dir,
                                     QString* error, bool* changed = nullptr);
