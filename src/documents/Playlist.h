#pragma once

#include "core/IoStatus.h"

#include <QList>
#include <QString>
#include <QStringList>

class OperatorInterface;

// The kinds of playlist entry, by extension without regard to case. A
// subtitle file is ".srt", ".ass" or ".ssa".
enum class EntryType { Project, Mp3, Lyric, PlainText, Surtitle, Unsupported };
EntryType EntryTypeOf(const QString& path);
// The MP3 of a lyric or subtitle entry and the lyric of an MP3 entry: the
// path with its last four characters replaced. Files come from a world that ignores case,
// so when that exact file does not exist, a file of the same name whose
// extension differs only in case is taken. Empty for the other types.
QString PartnerPath(const QString& path);

// Icons of the file list: the row icon by type, marker 3 = has a script,
// marker 4 = has a track. Decided when a row is added and not updated later.
// A subtitle file's row icon is the seventh picture.
inline constexpr int kSurtitleIcon = 6;
inline constexpr int kNoMarker = -1;
struct PlaylistRow {
    QString name; // file name without directory
    int icon = 0;
    int firstMarker = kNoMarker;
    int secondMarker = kNoMarker;
    bool operator==(const PlaylistRow&) const = default;
};
PlaylistRow MakePlaylistRow(const QString& path);

namespace PlaylistFilters {
inline const QString kPlaylistOrAll = QStringLiteral("LED播放列表(*.lft)|*.lft|所有文件(*.*)|*.*");
inline const QString kPlaylistOnly = QStringLiteral("LED播放列表(*.lft)|*.lft");
inline const QString kEntries = QStringLiteral(
    "支持文件(*.lpf;*.mp3;*.lrc;*.txt;*.srt;*.ass;*.ssa)|*.lpf;*.mp3;*.lrc;*.txt;*.srt;*.ass;*.ssa|"
    "LED工程文件(*.lpf)|*.lpf|MP3文件(*.mp3)|*.mp3|LRC歌词文件(*.lrc)|*.lrc|文本文件(*.txt)|*.txt|"
    "字幕文件(*.srt;*.ass;*.ssa)|*.srt;*.ass;*.ssa|所有文件(*.*)|*.*");
} // namespace PlaylistFilters

// The entries of a playlist file that can be played: lines naming existing
// files of the entry types. `trim` removes blanks and control characters
// around each line first (the start-up restore reads lines as they are).
QStringList PlayableEntries(const QStringList& fileLines, bool trim);

// The ordered list of files of a show, its file and whether it changed since it
// was last saved or opened. Lives on the user-interface thread.
class Playlist {
public:
    const QString& path() const { return m_path; }
    const QStringList& entries() const { return m_entries; }
    const QList<PlaylistRow>& rows() const { return m_rows; }
    bool changed() const { return m_changed; }
    qsizetype count() const { return m_entries.size(); }
    // The title shown for an unsaved list.
    QString displayName() const;

    // Empty list, no file, unchanged.
    void Clear();
    // Reads a playlist file: the file becomes the list's path and its playable
    // lines the entries; the list is unchanged afterwards.
    IoStatus Open(const QString& path, bool trimLines);
    // Appends an entry of a supported type and sets changed; false otherwise.
    bool Append(const QString& path);
    // Removes entry `index` and sets changed.
    void Remove(qsizetype index);
    // Swaps entry `index` with its neighbour by `delta` (-1 or +1) and rebuilds
    // the rows; changed is left as it is. Returns the new index, or -1.
    qsizetype Move(qsizetype index, int delta);

    // The list as it was shown before the station ended without closing:
    // `path` stays its file, `entries` its entries, and it counts as changed.
    void ReplaceEntries(const QString& path, const QStringList& entries);

    // A script was made for entry `index` (a track's new lyric file): its row
    // shows the script marker from now on.
    void MarkHasScript(qsizetype index);

    // Writes the entries to `path` (GBK, CR LF); success makes it the list's
    // path and clears changed, a failure names the file and keeps changed.
    IoStatus WriteTo(const QString& path);

    // Asks whether to save a changed list, and saves it (through the save
    // dialog with `filter` when the list has no file yet). Returns false only
    // when the operator dismissed the save dialog.
    bool SaveIfChanged(OperatorInterface& op, const QString& filter);
    // Saves to the list's file, or asks for one when there is none.
    void Save(OperatorInterface& op);
    // Always asks for a file. Returns false when the dialog was dismissed.
    bool SaveAs(OperatorInterface& op);

private:
    bool SaveThroughDialog(OperatorInterface& op, const QString& filter);
    void WriteReporting(OperatorInterface& op, const QString& path);
    static void ReportWrite(OperatorInterface& op, const IoStatus& status);

    QString m_path;
    QStringList m_entries;
    QList<PlaylistRow> m_rows;
    bool m_changed = false;
};
