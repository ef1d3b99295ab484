#include "DocumentReplay.h"

#include <QFileInfo>

DocumentReplay::DocumentReplay(SettingsStore& settings, TLedThread& worker, OperatorInterface& op)
    : m_op(op), m_renderer(settings.ActiveSettings, m_rasteriser), m_document(settings) {
    m_renderer.SetFrameSink(&worker);
    m_document.setViewHooks(this);
}

IoStatus DocumentReplay::OpenPlaylist(const QString& path) {
    return m_playlist.Open(path, true);
}

int DocumentReplay::EntryCount() const {
    return static_cast<int>(m_playlist.count());
}

QString DocumentReplay::EntryName(int entry) const {
    return m_playlist.rows().value(entry).name;
}

void DocumentReplay::SelectEntry(int entry) {
    m_document.Close();
    const QString path = m_playlist.entries().value(entry);
    const QString script = EntryTypeOf(path) == EntryType::Mp3 ? PartnerPath(path) : path;
    if (!QFileInfo(script).isFile()) {
        return;
    }
    const IoStatus status = m_document.Load(script);
    if (!status) {
        m_op.ShowError(status.message);
    }
}

int DocumentReplay::RowCount() const {
    return static_cast<int>(m_document.lines().size());
}

void DocumentReplay::SelectRow(int row) {
    const LineList& lines = m_document.lines();
    if (row < 0 || row >= lines.size()) {
        return;
    }
    const QString row2 = row + 1 < lines.size() ? lines[row + 1].Text : QString();
    for (ScreenId screen : kAllScreens) {
        Render(screen, lines[row].Text, row2);
    }
}

void DocumentReplay::RenderTitle(ScreenId screen, const QString& row1) {
    Render(screen, row1, QString());
}

void DocumentReplay::RenderEmptyRows() {
    for (ScreenId screen : kAllScreens) {
        Render(screen, QString(), QString());
    }
}

void DocumentReplay::Render(ScreenId screen, const QString& row1, const QString& row2) {
    const RenderOutcome outcome = m_renderer.RenderSubtitle(screen, row1, row2);
    if (outcome.failed()) {
        m_op.Inform(outcome.message);
    }
}
