#pragma once

#include "documents/SubtitleDocument.h"

#include "core/IoStatus.h"
#include "core/Settings.h"

class OperatorInterface;

// What a loaded document changes outside this library: the main window resets
// its preview images to the screen sizes and shows those of screens in use, and
// a project blanks all three screens with its own settings.
class DocumentViewHooks {
public:
    virtual ~DocumentViewHooks() = default;
    virtual void DocumentLoaded(DocumentKind kind) = 0;
    virtual void RenderEmptyRows() = 0;
};

// The current script and its line list, with the operations that open, save
// and rebuild them. Lives on the user-interface thread.
class DocumentSession {
public:
    explicit DocumentSession(SettingsStore& settings);

    const SubtitleDocument& document() const { return m_document; }
    const LineList& lines() const { return m_lines; }
    // Subtitle files: what each row of the line list is (a cue, or the blank
    // after one). Empty for the other kinds.
    const QList<SurtitleRow>& surtitleRows() const { return m_surtitleRows; }
    void setViewHooks(DocumentViewHooks* hooks) { m_hooks = hooks; }

    // Each load makes the file the current document, applies the settings it
    // uses and rebuilds the line list. On a read failure the current document,
    // its line list and the settings are left as they were.
    IoStatus LoadPlainText(const QString& path);
    IoStatus LoadLyrics(const QString& path);
    IoStatus LoadProject(const QString& path);
    // A subtitle file (.srt, .ass, .ssa): its cues and the blanks between
    // them become the rows, timed like a lyric.
    IoStatus LoadSurtitles(const QString& path);
    // The load operation that fits the extension.
    IoStatus Load(const QString& path);

    // The file on disk is no longer what the station last read or wrote
    // there (another program wrote it).
    bool ChangedOnDisk() const;
    // Takes the file on disk as known, so the same change is not reported again.
    void AcceptDiskState();
    // Reads the current document again from its path. Unlike opening it, this
    // blanks no screen: the audience keeps what it sees until the operator moves on.
    IoStatus Reload();

    // Lines as a plain line file (.txt and .lrc documents).
    // Both saves write the encoding the document was read in. When that is GBK
    // and GBK cannot hold the text, the file is written as UTF-8 with a byte
    // order mark instead and the status is ok with the operator's note as its
    // message.
    IoStatus SaveLines(const QString& path);
    // The project format from the active settings and the lines.
    IoStatus SaveProject(const QString& path);
    // Writes the document back to its own path in its own format and clears
    // modified on success; the document then keeps the encoding written.
    IoStatus Save();

    // Rebuilds the line list by the document's kind (after a settings change).
    void RebuildLineList();

    // Writes the time tag of `seconds` (truncated) into lyric item `index` and
    // its document line. Returns false when there is no such lyric item.
    bool StampTime(qsizetype index, double seconds);

    // Replaces the lines (the script editor) and rebuilds the list. A
    // subtitle file's lines are its text and are read again as such.
    void SetLines(const QStringList& lines);
    // A subtitle file's cues after an edit: the lines follow, the list is rebuilt.
    void SetSurtitle(SurtitleScript script);
    // No document: empty path, lines and list, modified cleared.
    void Close();

    // Leaving the editing page with unsaved changes: asks whether to save; Yes
    // saves, No reads the file again. A failed save is shown and keeps modified;
    // a save that had to leave GBK is shown as information. False only when the
    // operator asked for the save and it failed: the edits exist nowhere else.
    bool ResolveChangesOnLeave(OperatorInterface& op);

private:
    // `digest` is of the file as it was just before it was read.
    void Loaded(const QString& path, QStringList lines, TextEncoding encoding, QByteArray digest);
    IoStatus SaveAs(const QString& path, const QStringList& lines);
    IoStatus SaveText(const QString& path, const QString& text);
    void ShowSurtitleRows();

    SettingsStore& m_settings;
    SubtitleDocument m_document;
    LineList m_lines;
    QList<SurtitleRow> m_surtitleRows;
    DocumentViewHooks* m_hooks = nullptr;
    // A digest of the file as last read or written here.
    QByteArray m_diskDigest;
    bool m_reloading = false;
};
