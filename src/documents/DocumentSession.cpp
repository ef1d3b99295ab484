#include "DocumentSession.h"

#include "documents/LineBuilding.h"
#include "documents/ProjectFile.h"

#include "core/Operator.h"
#include "core/TextFiles.h"
#include "documents/SurtitleEditing.h"

#include <QCryptographicHash>
#include <QFile>

namespace {

// Empty when the file cannot be read.
QByteArray FileDigest(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) {
        return {};
    }
    return hash.result();
}

} // namespace

DocumentSession::DocumentSession(SettingsStore& settings) : m_settings(settings) {}

void DocumentSession::Loaded(const QString& path, QStringList lines, TextEncoding encoding,
                             QByteArray digest) {
    m_document.path = path;
    m_document.kind = KindOfPath(path);
    m_document.lines = std::move(lines);
    m_document.encoding = encoding;
    m_document.modified = false;
    if (m_document.kind != DocumentKind::Surtitle) {
        m_document.surtitle = SurtitleScript();
    }
    m_diskDigest = std::move(digest);
    RebuildLineList();
    if (m_hooks) {
        m_hooks->DocumentLoaded(m_document.kind);
    }
}

IoStatus DocumentSession::LoadPlainText(const QString& path) {
    // Taken before reading: a change made while the file is read is seen later.
    QByteArray digest = FileDigest(path);
    LineFileContent content = ReadLineFile(path);
    if (!content.status) {
        return content.status;
    }
    ApplyStoredSettings(m_settings);
    Loaded(path, std::move(content.lines), content.encoding, std::move(digest));
    return IoStatus::Ok();
}

IoStatus DocumentSession::LoadLyrics(const QString& path) {
    // Taken before reading: a change made while the file is read is seen later.
    QByteArray digest = FileDigest(path);
    LineFileContent content = ReadLineFile(path);
    if (!content.status) {
        return content.status;
    }
    ApplyStoredSettings(m_settings);
    Loaded(path, ApplyLyricFilter(content.lines), content.encoding, std::move(digest));
    return IoStatus::Ok();
}

IoStatus DocumentSession::LoadProject(const QString& path) {
    // Taken before reading: a change made while the file is read is seen later.
    QByteArray digest = FileDigest(path);
    const TextFileContent content = ReadTextFile(path);
    if (!content.status) {
        return content.status;
    }
    QStringList lines = ParseProjectText(content.text, m_settings.ActiveSettings);
    ApplyColourRule(m_settings);
    Loaded(path, std::move(lines), content.encoding, std::move(digest));
    if (m_hooks && !m_reloading) {
        m_hooks->RenderEmptyRows();
    }
    return IoStatus::Ok();
}

IoStatus DocumentSession::LoadSurtitles(const QString& path) {
    const std::optional<QByteArray> read = ReadWholeFile(path);
    if (!read) {
        return IoStatus::Fail(ReadFailedMessage(path));
    }
    const QByteArray& bytes = *read;
    // The digest of exactly the bytes read: a change made later is seen.
    QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    const DecodedText content = DecodeSurtitleText(bytes);
    ApplyStoredSettings(m_settings);
    m_document.surtitle = ParseSurtitle(content.text, SurtitleFormatOfPath(path));
    QString text = content.text;
    while (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    Loaded(path, SplitLines(text), content.encoding, std::move(digest));
    return IoStatus::Ok();
}

IoStatus DocumentSession::Load(const QString& path) {
    switch (KindOfPath(path)) {
    case DocumentKind::Lyric:
        return LoadLyrics(path);
    case DocumentKind::PlainText:
        return LoadPlainText(path);
    case DocumentKind::Surtitle:
        return LoadSurtitles(path);
    default:
        return LoadProject(path);
    }
}

bool DocumentSession::ChangedOnDisk() const {
    if (!m_document.isOpen()) {
        return false;
    }
    const QByteArray digest = FileDigest(m_document.path);
    // A file that is gone for a moment (an editor replacing it) is no change yet.
    return !digest.isEmpty() && digest != m_diskDigest;
}

void DocumentSession::AcceptDiskState() {
    m_diskDigest = FileDigest(m_document.path);
}

IoStatus DocumentSession::Reload() {
    m_reloading = true;
    const IoStatus status = Load(m_document.path);
    m_reloading = false;
    return status;
}

IoStatus DocumentSession::SaveAs(const QString& path, const QStringList& lines) {
    TextEncoding written = m_document.encoding;
    const IoStatus status = WriteLineFile(path, lines, m_document.encoding, &written);
    if (status && path == m_document.path) {
        // Once the file on disk has left GBK, later saves keep its new form
        // and need not tell the operator again.
        m_document.encoding = written;
        m_diskDigest = FileDigest(path);
    }
    return status;
}

IoStatus DocumentSession::SaveText(const QString& path, const QString& text) {
    EncodedText encoded;
    if (m_document.encoding == TextEncoding::Utf8 &&
        DecodeSurtitleText(text.toUtf8()).text == text) {
        // Read back as a subtitle file reads it, UTF-8 needs no mark.
        encoded = {text.toUtf8(), TextEncoding::Utf8, false};
    } else {
        encoded = EncodeTextExactly(text, m_document.encoding);
    }
    const IoStatus status = WriteFileAtomically(path, encoded.bytes);
    if (!status) {
        return status;
    }
    if (path == m_document.path) {
        m_document.encoding = encoded.encoding;
        m_diskDigest = FileDigest(path);
    }
    return encoded.leftGbk ? IoStatus::OkWithNote(GbkFallbackNote(path, encoded.encoding))
                           : IoStatus::Ok();
}

IoStatus DocumentSession::SaveLines(const QString& path) {
    if (m_document.kind == DocumentKind::Surtitle) {
        // The file's own line ends: a translator's LF file stays LF.
        QString text;
        for (const QString& line : m_document.lines) {
            text += line + m_document.surtitle.lineEnd;
        }
        return SaveText(path, text);
    }
    return SaveAs(path, m_document.lines);
}

IoStatus DocumentSession::SaveProject(const QString& path) {
    return SaveAs(path, ProjectFileLines(m_settings.ActiveSettings, m_document.lines));
}

IoStatus DocumentSession::Save() {
    const IoStatus status = m_document.kind == DocumentKind::Lyric ||
                                    m_document.kind == DocumentKind::PlainText ||
                                    m_document.kind == DocumentKind::Surtitle
                                ? SaveLines(m_document.path)
                                : SaveProject(m_document.path);
    if (status) {
        m_document.modified = false;
    }
    return status;
}

void DocumentSession::RebuildLineList() {
    m_surtitleRows.clear();
    switch (m_document.kind) {
    case DocumentKind::None:
        m_lines.clear();
        break;
    case DocumentKind::Surtitle:
        m_surtitleRows = BuildSurtitleRows(m_document.surtitle);
        m_lines.clear();
        for (qsizetype i = 0; i < m_surtitleRows.size(); ++i) {
            const SurtitleRow& row = m_surtitleRows[i];
            m_lines.append({QString::number(i + 1),
                            row.blank ? QString() : m_document.surtitle.pieces[row.piece].cue.text,
                            SurtitleTag(row.timeMs)});
        }
        break;
    case DocumentKind::Lyric:
        m_lines = BuildLyricList(m_document.lines);
        break;
    default:
        m_lines = BuildSegmentedList(m_document.lines, m_settings.ActiveSettings.Text);
        break;
    }
}

void DocumentSession::ShowSurtitleRows() {
    for (qsizetype i = 0; i < m_surtitleRows.size() && i < m_lines.size(); ++i) {
        m_lines[i].Source = SurtitleTag(m_surtitleRows[i].timeMs);
    }
}

bool DocumentSession::StampTime(qsizetype index, double seconds) {
    if (m_document.kind == DocumentKind::Surtitle) {
        // Recording keeps the rows where they stand; they are put in time
        // order again when the list is next rebuilt.
        const qint64 ms = seconds > 0 ? qint64(seconds * 1000.0) : 0;
        if (!StampRow(m_document.surtitle, m_surtitleRows, index, ms)) {
            return false;
        }
        ShowSurtitleRows();
        m_document.lines = SurtitleFileLines(m_document.surtitle);
        m_document.modified = true;
        return true;
    }
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
    if (m_document.kind == DocumentKind::Surtitle) {
        const QString lineEnd = m_document.surtitle.lineEnd;
        m_document.surtitle =
            ParseSurtitle(lines.join(QLatin1Char('\n')), m_document.surtitle.format);
        m_document.surtitle.lineEnd = lineEnd;
    }
    m_document.lines = lines;
    m_document.modified = true;
    RebuildLineList();
}

void DocumentSession::SetSurtitle(SurtitleScript script) {
    m_document.surtitle = std::move(script);
    m_document.lines = SurtitleFileLines(m_document.surtitle);
    m_document.modified = true;
    RebuildLineList();
}

void DocumentSession::Close() {
    m_document = SubtitleDocument();
    m_lines.clear();
    m_surtitleRows.clear();
    m_diskDigest.clear();
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
