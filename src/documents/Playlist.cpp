#include "Playlist.h"

#include "core/Operator.h"
#include "core/TextFiles.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString WithPlaylistExtension(const QString& name) {
    if (name.endsWith(QStringLiteral(".lft"), Qt::CaseInsensitive)) {
        return name;
    }
    return name + QStringLiteral(".lft");
}

} // namespace

EntryType EntryTypeOf(const QString& path) {
    const QString suffix = path.right(4).toLower();
    if (suffix == QStringLiteral(".lpf")) {
        return EntryType::Project;
    }
    if (suffix == QStringLiteral(".mp3")) {
        return EntryType::Mp3;
    }
    if (suffix == QStringLiteral(".lrc")) {
        return EntryType::Lyric;
    }
    if (suffix == QStringLiteral(".txt")) {
        return EntryType::PlainText;
    }
    if (suffix == QStringLiteral(".srt") || suffix == QStringLiteral(".ass") ||
        suffix == QStringLiteral(".ssa")) {
        return EntryType::Surtitle;
    }
    return EntryType::Unsupported;
}

namespace {

// The show's files are often copied from a system that ignores case, so
// "X.LRC" may come with "X.MP3" or "X.Mp3". The exact name wins; otherwise the
// first file (by name) in the same folder whose name differs only in the case
// of the extension.
QString WithExtensionOfAnyCase(const QString& path, const QString& extension) {
    const QString base = path.left(path.size() - extension.size());
    const QString exact = base + extension;
    if (QFileInfo(exact).exists()) {
        return exact;
    }
    const QFileInfo info(exact);
    const QString baseName = info.fileName().left(info.fileName().size() - extension.size());
    const QDir folder = info.dir();
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        if (name.size() == baseName.size() + extension.size() && name.startsWith(baseName) &&
            name.endsWith(extension, Qt::CaseInsensitive)) {
            return folder.filePath(name);
        }
    }
    return exact;
}

} // namespace

QString PartnerPath(const QString& path) {
    switch (EntryTypeOf(path)) {
    case EntryType::Mp3:
        return WithExtensionOfAnyCase(path.left(path.size() - 4) + QStringLiteral(".lrc"),
                                      QStringLiteral(".lrc"));
    case EntryType::Lyric:
    case EntryType::Surtitle:
        return WithExtensionOfAnyCase(path.left(path.size() - 4) + QStringLiteral(".mp3"),
                                      QStringLiteral(".mp3"));
    default:
        return QString();
    }
}

PlaylistRow MakePlaylistRow(const QString& path) {
    PlaylistRow row;
    row.name = QFileInfo(path).fileName();
    const bool partnerExists = [&] {
        const QString partner = PartnerPath(path);
        return !partner.isEmpty() && QFileInfo(partner).isFile();
    }();
    switch (EntryTypeOf(path)) {
    case EntryType::Project:
        row.icon = 0;
        row.firstMarker = 3;
        break;
    case EntryType::Mp3:
        row.icon = 1;
        row.firstMarker = partnerExists ? 3 : kNoMarker;
        row.secondMarker = 4;
        break;
    case EntryType::Lyric:
        row.icon = 2;
        row.firstMarker = 3;
        row.secondMarker = partnerExists ? 4 : kNoMarker;
        break;
    case EntryType::PlainText:
        row.icon = 5;
        row.firstMarker = 3;
        break;
    case EntryType::Surtitle:
        row.icon = kSurtitleIcon;
        row.firstMarker = 3;
        row.secondMarker = partnerExists ? 4 : kNoMarker;
        break;
    case EntryType::Unsupported:
        break;
    }
    return row;
}

QStringList PlayableEntries(const QStringList& fileLines, bool trim) {
    QStringList entries;
    for (const QString& raw : fileLines) {
        const QString line = trim ? TrimControl(raw) : raw;
        if (line.isEmpty() || EntryTypeOf(line) == EntryType::Unsupported ||
            !QFileInfo(line).isFile()) {
            continue;
        }
        entries.append(line);
    }
    return entries;
}

QString Playlist::displayName() const {
    return m_path.isEmpty() ? QStringLiteral("未命名.lft") : m_path;
}

void Playlist::Clear() {
    m_path.clear();
    m_entries.clear();
    m_rows.clear();
    m_changed = false;
}

IoStatus Playlist::Open(const QString& path, bool trimLines) {
    const LineFileContent content = ReadLineFile(path);
    if (!content.status) {
        return content.status;
    }
    Clear();
    m_path = path;
    for (const QString& entry : PlayableEntries(content.lines, trimLines)) {
        m_entries.append(entry);
        m_rows.append(MakePlaylistRow(entry));
    }
    return IoStatus::Ok();
}

bool Playlist::Append(const QString& path) {
    if (EntryTypeOf(path) == EntryType::Unsupported) {
        return false;
    }
    m_entries.append(path);
    m_rows.append(MakePlaylistRow(path));
    m_changed = true;
    return true;
}

void Playlist::Remove(qsizetype index) {
    if (index < 0 || index >= m_entries.size()) {
        return;
    }
    m_entries.removeAt(index);
    m_rows.removeAt(index);
    m_changed = true;
}

void Playlist::ReplaceEntries(const QString& path, const QStringList& entries) {
    m_path = path;
    m_entries = entries;
    m_rows.clear();
    for (const QString& entry : m_entries) {
        m_rows.append(MakePlaylistRow(entry));
    }
    m_changed = true;
}

void Playlist::MarkHasScript(qsizetype index) {
    if (index >= 0 && index < m_rows.size()) {
        m_rows[index].firstMarker = 3;
    }
}

qsizetype Playlist::Move(qsizetype index, int delta) {
    const qsizetype target = index + delta;
    if (index < 0 || index >= m_entries.size() || target < 0 || target >= m_entries.size()) {
        return -1;
    }
    m_entries.swapItemsAt(index, target);
    m_rows.clear();
    for (const QString& entry : m_entries) {
        m_rows.append(MakePlaylistRow(entry));
    }
    return target;
}

IoStatus Playlist::WriteTo(const QString& path) {
    // GBK as always; an entry GBK has no code for (a Korean file name) makes
    // the whole list UTF-8 with a byte order mark, so the path is found again
    // on opening instead of coming back as "???.txt" and being dropped.
    const IoStatus status = WriteLineFile(path, m_entries, TextEncoding::Gbk);
    if (status) {
        m_path = path;
        m_changed = false;
    }
    return status;
}

void Playlist::WriteReporting(OperatorInterface& op, const QString& path) {
    ReportWrite(op, WriteTo(path));
}

void Playlist::ReportWrite(OperatorInterface& op, const IoStatus& status) {
    if (!status) {
        op.ShowError(status.message);
    } else if (!status.message.isEmpty()) {
        // Written whole, but not as GBK: the operator should know why.
        op.Inform(status.message);
    }
}

bool Playlist::SaveThroughDialog(OperatorInterface& op, const QString& filter) {
    const QString name = op.ChooseSaveFile(filter, QString());
    if (name.isEmpty()) {
        return false;
    }
    const QString target = WithPlaylistExtension(name);
    const IoStatus status = WriteTo(target);
    if (!status) {
        // The chosen name still becomes the list's file, so the next save goes
        // there without asking again; changed stays set.
        m_path = target;
    }
    ReportWrite(op, status);
    return true;
}

bool Playlist::SaveIfChanged(OperatorInterface& op, const QString& filter) {
    if (!m_changed) {
        return true;
    }
    if (!op.AskYesNo(QStringLiteral("当前列表已经发生改变，是否保存？"))) {
        return true;
    }
    if (!m_path.isEmpty()) {
        WriteReporting(op, m_path);
        return true;
    }
    return SaveThroughDialog(op, filter);
}

void Playlist::Save(OperatorInterface& op) {
    if (!m_path.isEmpty()) {
        WriteReporting(op, m_path);
        return;
    }
    SaveThroughDialog(op, PlaylistFilters::kPlaylistOrAll);
}

bool Playlist::SaveAs(OperatorInterface& op) {
    return SaveThroughDialog(op, PlaylistFilters::kPlaylistOrAll);
}
