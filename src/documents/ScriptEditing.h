#pragma once

#include "core/IoStatus.h"
#include "core/Settings.h"

#include <QString>
#include <QStringList>

#include <optional>

class DocumentSession;
class OperatorInterface;

// The editing page's commands on the current document: import, whole-script
// editing, inserting, modifying and deleting one line, saving, and the files
// made by "新建字幕". The dialogs are behind ScriptEditingDialogs, so every
// command runs without a window. User-interface thread only.

// "新建字幕": a lyric file for the selected track, or an independent file of
// one of three types.
enum class NewFileType { Txt, Lrc, Lpf };
struct NewFileChoice {
    bool forTrack = false;
    NewFileType type = NewFileType::Txt;
    bool operator==(const NewFileChoice&) const = default;
};

// The editing dialogs. The station shows its forms; tests answer from a script.
class ScriptEditingDialogs {
public:
    virtual ~ScriptEditingDialogs() = default;
    // The one-line dialog (TCaptionForm) with `caption` and `text` in its
    // field; nullopt when cancelled.
    virtual std::optional<QString> AskLine(const QString& caption, const QString& text) = 0;
    // The whole-script editor (TEditForm) showing `lines`; the edited text,
    // or nullopt when cancelled.
    virtual std::optional<QString> EditScript(const QStringList& lines) = 0;
    // The new-file dialog (TNewFileForm). `trackOffered`: the selected entry
    // is a track without a lyric file, so that choice is enabled and preselected.
    virtual std::optional<NewFileChoice> ChooseNewFile(bool trackOffered) = 0;
};

namespace EditingTexts {
inline const QString kSelectFile = QStringLiteral("请先选中一个字幕文件。");
inline const QString kSelectToInsert = QStringLiteral("请选择一条字幕再进行插入。");
inline const QString kSelectToModify = QStringLiteral("请选择一条字幕再进行修改。");
inline const QString kSelectToDelete = QStringLiteral("请选择一条字幕再进行删除。");
inline const QString kConfirmDelete = QStringLiteral("您确定要删除这条字幕吗?");
inline const QString kOnlyLyricsRecord = QStringLiteral("只有歌词文件才能录制播放时间。");
inline const QString kInsertCaption = QStringLiteral("插入字幕");
inline const QString kModifyCaption = QStringLiteral("修改字幕");
inline const QString kImportFilter = QStringLiteral("文本文件(*.txt)|*.txt|所有文件(*.*)|*.*");
// A subtitle file's blank row is the end of the cue before it, not a line.
inline const QString kBlankRowOfSurtitles =
    QStringLiteral("这是两条字幕之间的空白，不能修改或删除。可以在它前面插入字幕。");
} // namespace EditingTexts

// What a command left for the line list: whether the lines changed (the
// screens are blanked and the old selection is gone) and which item to select.
struct EditOutcome {
    bool changed = false;
    qsizetype select = -1;
    bool operator==(const EditOutcome&) const = default;
};

// An imported script's lines: control characters trimmed, each ideographic
// space made two spaces, then the spaces and tabs at both ends removed.
QStringList CleanImportedLines(const QStringList& lines);
// The whole-script editor's text as lines: every line break ends a line, so
// joining and splitting gives the lines back exactly; an empty text is no lines.
QStringList SplitEditorText(const QString& text);

class ScriptEditing {
public:
    ScriptEditing(DocumentSession& session, OperatorInterface& op, ScriptEditingDialogs& dialogs);

    // `selected` is the selected item of the line list, -1 for none.
    EditOutcome Import();
    EditOutcome EditWhole();
    EditOutcome Insert(qsizetype selected);
    EditOutcome Modify(qsizetype selected);
    EditOutcome Delete(qsizetype selected);
    // Writes the document to its file; a failure is shown and keeps modified.
    void Save();

private:
    bool RequireDocument();
    bool IsLyric() const;
    bool IsSurtitle() const;
    // Subtitle files: the commands work on cues, so every other line of the
    // file stays as it was.
    EditOutcome InsertCue(qsizetype selected);
    EditOutcome ModifyCue(qsizetype selected);
    EditOutcome DeleteCue(qsizetype selected);
    // The row that starts the cue of `piece` after a rebuild, -1 for none.
    qsizetype RowOfCue(qsizetype piece) const;
    // The document line an item shows, -1 when the item is not in the list.
    qsizetype DocumentLineOf(qsizetype item) const;
    // The first item of document line `line` after a rebuild, -1 for none.
    qsizetype FirstItemOf(qsizetype line) const;
    EditOutcome Replaced(const QStringList& lines, qsizetype select);

    DocumentSession& m_session;
    OperatorInterface& m_op;
    ScriptEditingDialogs& m_dialogs;
};

// The file a "新建字幕" command made.
struct NewSubtitleFile {
    QString path;
    bool forTrack = false;
};

// The lyric file that belongs to a track: its path with the last four
// characters replaced by ".lrc".
QString LyricPathOfTrack(const QString& trackPath);

// "新建字幕" up to the file on disk: asks for the kind of file (and for an
// independent one its name, with the type's extension appended when missing)
// and writes it empty (a project with `active` settings and no content).
// `trackWithoutLyric` is the selected track when it has no lyric file yet,
// empty otherwise. An existing file is replaced only when the operator agrees;
// a failed write is shown. nullopt when nothing was made.
std::optional<NewSubtitleFile> CreateNewSubtitleFile(OperatorInterface& op,
                                                     ScriptEditingDialogs& dialogs,
                                                     const TSettings& active,
                                                     const QString& trackWithoutLyric);
