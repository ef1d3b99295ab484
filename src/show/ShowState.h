#pragma once

#include "documents/SubtitleDocument.h"
#include "playback/PlayerState.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What the audience sees besides the selected line.
enum class ScreenContent {
    Line,     // the selected line (or nothing when none is selected)
    TempText, // a temporary message sent over the line
    Blank,    // the screens were cleared
};

struct TempTextShown {
    QString row1;
    QString row2;
    int colour = 0; // the colour list index the message was sent with
    bool operator==(const TempTextShown&) const = default;
};

// The show as it stands: enough to put the same line back on the screens
// after the station ended without closing, and to tell a clean end from any
// other. Positions are indices into the lists as the station built them;
// the texts beside them let a start that builds the lists differently find
// the same entry and line again.
struct ShowState {
    QString playlistPath; // empty: a list never saved
    // The entries as shown when they differ from the list's file (changed and
    // not saved, or never saved); otherwise the file holds them.
    std::optional<QStringList> entries;
    qsizetype entry = -1;
    QString entryPath;
    qsizetype line = -1;
    QString lineText;

    bool linkOpen = false;
    int brightness = 0;

    PlayerState player = PlayerState::NoDocument;
    // The track position (playing or paused) and the wall clock when it was
    // taken, in milliseconds since the epoch: a track that played on while the
    // station was away has moved on by the difference.
    qint64 positionMs = 0;
    qint64 takenAtMs = 0;

    ScreenContent screens = ScreenContent::Line;
    TempTextShown temp;

    // Set as the last act of a close; a journal without it means the station
    // ended any other way (a kill, a crash, a power cut).
    bool cleanExit = false;
    // An unattended close (a terminating signal) could not ask about unsaved
    // edits of the script: they were written to this file instead.
    QString editsKeptAt;

    // Equal apart from when the position was taken.
    bool SameShow(const ShowState& other) const;
};

QByteArray ShowStateToJson(const ShowState& state);
// nullopt for anything that is not a journal of ours (an empty, cut or foreign file).
std::optional<ShowState> ShowStateFromJson(const QByteArray& bytes);

// Unsaved edits of the script, kept while the editing page holds them.
struct ScriptCopy {
    QString scriptPath;
    QStringList lines;
    bool operator==(const ScriptCopy&) const = default;
};

QByteArray ScriptCopyToJson(const ScriptCopy& copy);
std::optional<ScriptCopy> ScriptCopyFromJson(const QByteArray& bytes);
