#include "ScriptEditing.h"

#include "documents/DocumentSession.h"
#include "documents/LineBuilding.h"
#include "documents/LyricTimeline.h"
#include "documents/ProjectFile.h"
#include "documents/SurtitleEditing.h"

#include "core/Operator.h"
#include "core/TextFiles.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

bool IsBlankByte(QChar c) {
    return c == u' ' || c == u'\t';
}

// A lyric line that would give no row (empty, or read as a header tag) must
// not enter the document: the rows and the lines they stamp would part.
bool GivesLyricRow(const QString& line) {
    return ParseLyricLine(TrimControl(line)).kind == LyricLine::Kind::Item;
}

} // namespace

QStringList CleanImportedLines(const QStringList& lines) {
    QStringList cleaned;
    cleaned.reserve(lines.size());
    for (const QString& raw : lines) {
        QString line = TrimControl(raw);
        line.replace(QChar(0x3000), QStringLiteral("  "));
        qsizetype start = 0;
        qsizetype end = line.size();
        while (start < end && IsBlankByte(line[start])) {
            ++start;
        }
        while (end > start && IsBlankByte(line[end - 1])) {
            --end;
        }
        cleaned.append(line.mid(start, end - start));
    }
    return cleaned;
}

QStringList SplitEditorText(const QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normal.replace(u'\r', u'\n');
    normal.replace(QChar::ParagraphSeparator, u'\n');
    normal.replace(QChar::LineSeparator, u'\n');
    return normal.split(u'\n');
}

ScriptEditing::ScriptEditing(DocumentSession& session, OperatorInterface& op,
                             ScriptEditingDialogs& dialogs)
    : m_session(session), m_op(op), m_dialogs(dialogs) {}

bool ScriptEditing::RequireDocument() {
    if (m_session.document().isOpen()) {
        return true;
    }
    m_op.Inform(EditingTexts::kSelectFile);
    return false;
}

bool ScriptEditing::IsLyric() const {
    return m_session.document().kind == DocumentKind::Lyric;
}

bool ScriptEditing::IsSurtitle() const {
    return m_session.document().kind == DocumentKind::Surtitle;
}

qsizetype ScriptEditing::RowOfCue(qsizetype piece) const {
    const QList<SurtitleRow>& rows = m_session.surtitleRows();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i].piece == piece && !rows[i].blank) {
            return i;
        }
    }
    return -1;
}

EditOutcome ScriptEditing::InsertCue(qsizetype selected) {
    const QList<SurtitleRow>& rows = m_session.surtitleRows();
    if (!rows.isEmpty() && (selected < 0 || selected >= rows.size())) {
        m_op.Inform(EditingTexts::kSelectToInsert);
        return {};
    }
    const std::optional<QString> text = m_dialogs.AskLine(EditingTexts::kInsertCaption, QString());
    if (!text) {
        return {};
    }
    SurtitleScript script = m_session.document().surtitle;
    const qsizetype piece = InsertCueBefore(script, rows, rows.isEmpty() ? 0 : selected, *text);
    m_session.SetSurtitle(std::move(script));
    return {true, RowOfCue(piece)};
}

EditOutcome ScriptEditing::ModifyCue(qsizetype selected) {
    const QList<SurtitleRow>& rows = m_session.surtitleRows();
    if (selected < 0 || selected >= rows.size()) {
        m_op.Inform(EditingTexts::kSelectToModify);
        return {};
    }
    if (rows[selected].blank) {
        m_op.Inform(EditingTexts::kBlankRowOfSurtitles);
        return {};
    }
    const std::optional<QString> text =
        m_dialogs.AskLine(EditingTexts::kModifyCaption, m_session.lines()[selected].Text);
    if (!text) {
        return {};
    }
    SurtitleScript script = m_session.document().surtitle;
    const qsizetype piece = rows[selected].piece;
    SetCueText(script, rows, selected, *text);
    m_session.SetSurtitle(std::move(script));
    return {true, RowOfCue(piece)};
}

EditOutcome ScriptEditing::DeleteCue(qsizetype selected) {
    const QList<SurtitleRow>& rows = m_session.surtitleRows();
    if (selected < 0 || selected >= rows.size()) {
        m_op.Inform(EditingTexts::kSelectToDelete);
        return {};
    }
    if (rows[selected].blank) {
        m_op.Inform(EditingTexts::kBlankRowOfSurtitles);
        return {};
    }
    if (!m_op.AskYesNo(EditingTexts::kConfirmDelete)) {
        return {};
    }
    SurtitleScript script = m_session.document().surtitle;
    RemoveCue(script, rows, selected);
    m_session.SetSurtitle(std::move(script));
    return {true, -1};
}

qsizetype ScriptEditing::DocumentLineOf(qsizetype item) const {
    const LineList& items = m_session.lines();
    if (item < 0 || item >= items.size()) {
        return -1;
    }
    const QStringList& lines = m_session.document().lines;
    if (IsLyric()) {
        return LyricLineOfItem(lines, item);
    }
    bool ok = false;
    const qsizetype line = items[item].Source.toLongLong(&ok);
    return ok && line >= 0 && line < lines.size() ? line : -1;
}

qsizetype ScriptEditing::FirstItemOf(qsizetype line) const {
    const LineList& items = m_session.lines();
    if (IsLyric()) {
        return line >= 0 && line < items.size() ? line : -1;
    }
    const QString source = QString::number(line);
    const auto found = std::find_if(items.begin(), items.end(),
                                    [&](const LineItem& item) { return item.Source == source; });
    return found == items.end() ? -1 : qsizetype(found - items.begin());
}

EditOutcome ScriptEditing::Replaced(const QStringList& lines, qsizetype select) {
    m_session.SetLines(lines);
    return {true, select};
}

EditOutcome ScriptEditing::Import() {
    if (!RequireDocument()) {
        return {};
    }
    const QString path = m_op.ChooseOpenFile(EditingTexts::kImportFilter, QString());
    if (path.isEmpty()) {
        return {};
    }
    // Read before touching anything: an unreadable file leaves the script and
    // its list as they were instead of an empty list over unchanged lines.
    const LineFileContent content = ReadLineFile(path);
    if (!content.status) {
        m_op.ShowError(content.status.message);
        return {};
    }
    if (IsSurtitle()) {
        // The script's lines become the cues, to be timed by recording.
        SurtitleScript script = m_session.document().surtitle;
        ReplaceCuesWithLines(script, CleanImportedLines(content.lines));
        m_session.SetSurtitle(std::move(script));
        return {true, -1};
    }
    return Replaced(CleanImportedLines(content.lines), -1);
}

EditOutcome ScriptEditing::EditWhole() {
    if (!RequireDocument()) {
        return {};
    }
    const std::optional<QString> text = m_dialogs.EditScript(m_session.document().lines);
    if (!text) {
        return {};
    }
    return Replaced(SplitEditorText(*text), -1);
}

EditOutcome ScriptEditing::Insert(qsizetype selected) {
    if (!RequireDocument()) {
        return {};
    }
    if (IsSurtitle()) {
        return InsertCue(selected);
    }
    const bool hasItems = !m_session.lines().isEmpty();
    const qsizetype before = hasItems ? DocumentLineOf(selected) : -1;
    if (hasItems && before < 0) {
        m_op.Inform(EditingTexts::kSelectToInsert);
        return {};
    }
    const std::optional<QString> text = m_dialogs.AskLine(EditingTexts::kInsertCaption, QString());
    if (!text) {
        return {};
    }
    QStringList lines = m_session.document().lines;
    if (IsLyric()) {
        if (!GivesLyricRow(*text)) {
            return {};
        }
        // Untimed until it is recorded. The row lands where the operator
        // asked: before the selected row, or after the last row.
        const qsizetype at = hasItems ? before : lines.size();
        lines.insert(at, TrimControl(*text));
        return Replaced(lines, hasItems ? selected : 0);
    }
    const qsizetype at = hasItems ? before : lines.size();
    lines.insert(at, *text);
    m_session.SetLines(lines);
    return {true, FirstItemOf(at)};
}

EditOutcome ScriptEditing::Modify(qsizetype selected) {
    if (!RequireDocument()) {
        return {};
    }
    if (IsSurtitle()) {
        return ModifyCue(selected);
    }
    const qsizetype line = DocumentLineOf(selected);
    if (line < 0) {
        m_op.Inform(EditingTexts::kSelectToModify);
        return {};
    }
    QStringList lines = m_session.document().lines;
    if (IsLyric()) {
        const LineItem item = m_session.lines()[selected];
        const std::optional<QString> text =
            m_dialogs.AskLine(EditingTexts::kModifyCaption, item.Text);
        if (!text) {
            return {};
        }
        // The row keeps its times: every leading tag of its line, so a
        // chorus stamped twice is still shown twice, then the new text.
        const QString tags = ParseLyricLine(lines[line].trimmed()).leadingTags;
        lines[line] = (tags.isEmpty() ? item.Source : tags) + TrimControl(*text);
        if (!GivesLyricRow(lines[line])) {
            return {};
        }
        return Replaced(lines, selected);
    }
    const std::optional<QString> text =
        m_dialogs.AskLine(EditingTexts::kModifyCaption, lines[line]);
    if (!text) {
        return {};
    }
    lines[line] = *text;
    m_session.SetLines(lines);
    return {true, FirstItemOf(line)};
}

EditOutcome ScriptEditing::Delete(qsizetype selected) {
    if (!RequireDocument()) {
        return {};
    }
    if (IsSurtitle()) {
        return DeleteCue(selected);
    }
    const qsizetype line = DocumentLineOf(selected);
    if (line < 0) {
        m_op.Inform(EditingTexts::kSelectToDelete);
        return {};
    }
    if (!m_op.AskYesNo(EditingTexts::kConfirmDelete)) {
        return {};
    }
    QStringList lines = m_session.document().lines;
    lines.removeAt(line);
    m_session.SetLines(lines);
    if (IsLyric() || lines.isEmpty()) {
        return {true, -1};
    }
    return {true, FirstItemOf(std::min(line, lines.size() - 1))};
}

void ScriptEditing::Save() {
    if (!RequireDocument()) {
        return;
    }
    const IoStatus status = m_session.Save();
    if (!status) {
        m_op.ShowError(status.message);
    } else if (!status.message.isEmpty()) {
        m_op.Inform(status.message);
    }
}

// ---- new files

QString LyricPathOfTrack(const QString& trackPath) {
    return trackPath.left(trackPath.size() - 4) + QStringLiteral(".lrc");
}

namespace {

struct TypeRule {
    QString extension;
    QString filter;
};

TypeRule RuleOf(NewFileType type) {
    switch (type) {
    case NewFileType::Lrc:
        return {QStringLiteral(".lrc"),
                QStringLiteral("LED播放列表(*.lrc)|*.lrc|所有文件(*.*)|*.*")};
    case NewFileType::Lpf:
        return {QStringLiteral(".lpf"),
                QStringLiteral("LED播放列表(*.lpf)|*.lpf|所有文件(*.*)|*.*")};
    case NewFileType::Txt:
        break;
    }
    return {QStringLiteral(".txt"), QStringLiteral("文本文件(*.txt)|*.txt|所有文件(*.*)|*.*")};
}

QString OverwriteQuestion(const QString& path) {
    return QStringLiteral("文件“%1”已经存在，是否用空白字幕文件覆盖？")
        .arg(QDir::toNativeSeparators(path));
}

} // namespace

std::optional<NewSubtitleFile> CreateNewSubtitleFile(OperatorInterface& op,
                                                     ScriptEditingDialogs& dialogs,
                                                     const TSettings& active,
                                                     const QString& trackWithoutLyric) {
    const std::optional<NewFileChoice> choice = dialogs.ChooseNewFile(!trackWithoutLyric.isEmpty());
    if (!choice) {
        return std::nullopt;
    }
    if (choice->forTrack && !trackWithoutLyric.isEmpty()) {
        const QString path = LyricPathOfTrack(trackWithoutLyric);
        // Made by someone else since the entry was selected: it is the
        // track's lyric file now and is taken as it is, never emptied.
        if (!QFileInfo::exists(path)) {
            const IoStatus written = WriteFileAtomically(path, QByteArray());
            if (!written) {
                op.ShowError(written.message);
                return std::nullopt;
            }
        }
        return NewSubtitleFile{path, true};
    }

    const TypeRule rule = RuleOf(choice->type);
    QString path = op.ChooseSaveFile(rule.filter, QString());
    if (path.isEmpty()) {
        return std::nullopt;
    }
    if (!path.endsWith(rule.extension, Qt::CaseInsensitive)) {
        path += rule.extension;
    }
    // The save dialog asked about the name the operator typed, not about the
    // name with the extension added; a script behind it must not be emptied
    // without a word.
    if (QFileInfo::exists(path) && !op.AskYesNo(OverwriteQuestion(path))) {
        return std::nullopt;
    }
    const IoStatus written = choice->type == NewFileType::Lpf
                                 ? WriteLineFile(path, ProjectFileLines(active, {}))
                                 : WriteFileAtomically(path, QByteArray());
    if (!written) {
        op.ShowError(written.message);
        return std::nullopt;
    }
    return NewSubtitleFile{path, false};
}
