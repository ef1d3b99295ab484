#include "DocumentSession.h"

#include "documents/LineBuilding.h"
#include "documents/ProjectFile.h"

#include "core/Operator.h"
#include "core/TextFiles.h"

DocumentSession::DocumentSession(SettingsStore& settings) : m_settings(settings) {}

void DocumentSession::Loaded(const QString& path, QStringList lines, TextEncoding encoding) {
    m_document.path = path;
    m_document.kind = KindOfPath(path);
    m_document.lines = std::move(lines);
    m_document.encoding = encoding;
    m_document.modified = false;
    RebuildLineList();
    if (m_hooks) {
        m_hooks->DocumentLoaded(m_document.kind);
    }
}

IoStatus DocumentSession::LoadPlainText(const QString& path) {
    LineFileContent content = ReadLineFile(path);
    if (!content.status) {
        return content.status;
    }
    ApplyStoredSettings(m_settings);
    Loaded(path, std::move(content.lines), content.encoding);
    return IoStatus::Ok();
}

IoStatus DocumentSession::LoadLyrics(const QString& path) {
    LineFileContent content = ReadLineFile(path);
    if (!content.status) {
        return content.status;
    }
    ApplyStoredSettings(m_settings);
    Loaded(path, ApplyLyricFilter(content.lines), content.encoding);
    return IoStatus::Ok();
}

IoStatus DocumentSession::LoadProject(const QString& path) {
    const TextFileContent content = ReadTextFile(path);
    if (!content.status) {
        return content.status;
    }
    QStringList lines = ParseProjectText(content.text, m_settings.ActiveSettings);
    ApplyColourRule(m_settings);
    Loaded(path, std::move(lines), content.encoding);
    if (m_hooks) {
        m_hooks->RenderEmptyRows();
    }
    return IoStatus::Ok();
}

IoStatus DocumentSession::Load(const QString& path) {
    switch (KindOfPath(path)) {
    case DocumentKind::Lyric:
        return LoadLyrics(path);
    case DocumentKind::PlainText:
        return LoadPlainText(path);
    default:
        return LoadProject(path);
    }
}

IoStatus DocumentSession::SaveAs(const QString& path, const QStringList& lines) {
    TextEncoding written = m_document.encoding;
    const IoStatus status = WriteLineFile(path, lines, m_document.encoding, &written);
    if (status && path == m_document.path) {
        // Once the file on disk has left GBK, later saves keep its new form
        // and need not tell the operator again.
        m_document.encoding = written;
    }
    return status;
}

IoStatus DocumentSession::SaveLines(const QString& path) {
    return SaveAs(path, m_document.lines);
}

IoStatus DocumentSession::SaveProject(const QString& path) {
    return SaveAs(path, ProjectFileLines(m_settings.ActiveSettings, m_document.lines));
}

IoStatus DocumentSession::Save() {
    const IoStatus status =
        m_document.kind == DocumentKind::Lyric || m_document.kind == DocumentKind::PlainText
            ? SaveLines(m_document.path)
            : SaveProject(m_document.path);
    if (status) {
        m_document.modified = false;
    }
    return status;
}

void DocumentSession::RebuildLineList() {
    switch (m_document.kind) {
    case DocumentKind::None:
        m_lines.clear();
        break;
    case DocumentKind::Lyric:
        m_lines = BuildLyricList(m_document.lines);
        break;
    default:
        m_lines = BuildSegmentedList(m_document.lines, m_settings.ActiveSettings.Text);
        break;
    }
}

bool DocumentSession::StampTime(qsizetype index, double seconds) {
    if (m_document.kind != DocumentKind::Lyric || index < 0 || index >= m_lines.size()) {
        return false;
    }
    const QString tag = FormatTimeTag(seconds > 0 ? static_cast<int>(seconds) : 0);
    LineItem& item = m_lines[index];
    item.Source = tag;
    // The line that gives this row, wherever it stands: after a whole-script
    // edit or an import an empty or header line before it would otherwise
    // make the stamp land on the row above.
    const qsizetype line = LyricLineOfItem(m_document.lines, index);
    if (line >= 0) {
        m_document.lines[line] = tag + item.Text;
    }
    m_document.modified = true;
    return true;
}

void DocumentSession::SetLines(const QStringList& lines) {
    m_document.lines = lines;
    m_document.modified = true;
    RebuildLineList();
}

void DocumentSession::Close() {
    m_document = SubtitleDocument();
    m_lines.clear();
}

bool DocumentSession::ResolveChangesOnLeave(OperatorInterface& op) {
    if (!m_document.modified) {
        return true;
    }
    if (op.AskYesNo(QStringLiteral("当前字幕已经修改，是否保存？"))) {
        const IoStatus status = Save();
        if (!status) {
            op.ShowError(status.message);
            return false;
        }
        if (!status.message.isEmpty()) {
            op.Inform(status.message);
        }
        return true;
    }
    const QString path = m_document.path;
    const IoStatus status = Load(path);
    if (!status) {
        // The file is gone or unreadable: keep the edited lines rather than
        // silently dropping them, and say why they could not be discarded.
        op.ShowError(status.message);
        return true;
    }
    m_document.modified = false;
    return true;
}
