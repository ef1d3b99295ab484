#include "ShowSession.h"

#include "core/AtomicFile.h"
#include "core/Operator.h"
#include "core/Settings.h"
#include "core/TextFiles.h"
#include "documents/DocumentSession.h"
#include "documents/Playlist.h"
#include "link/LedThread.h"
#include "link/LiveControl.h"
#include "playback/PlaybackController.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>

namespace {

// A track clock this far from the wall clock's reckoning means a seek (or a
// stall): the journal takes the new position.
constexpr qint64 kDriftMs = 200;

qint64 SystemClockMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

bool TrackIsMoving(PlayerState state) {
    return state == PlayerState::Playing || state == PlayerState::Paused;
}

} // namespace

ShowSession::ShowSession(Parts parts, ShowSessionViews views, std::function<qint64()> wallClockMs)
    : m_parts(std::move(parts)), m_views(std::move(views)),
      m_clock(wallClockMs ? std::move(wallClockMs) : SystemClockMs),
      m_journal(JournalPath(m_parts.dataDir), CopyPath(m_parts.dataDir)),
      m_options(LoadRecoveryOptions(m_parts.configPath)) {
    m_captureTimer.setSingleShot(true);
    m_captureTimer.setInterval(0);
    QObject::connect(&m_captureTimer, &QTimer::timeout, &m_captureTimer, [this] { Capture(); });
}

ShowSession::~ShowSession() = default;

QString ShowSession::JournalPath(const QString& dataDir) {
    return QDir(dataDir).filePath(QStringLiteral("show-state.json"));
}

QString ShowSession::CopyPath(const QString& dataDir) {
    return QDir(dataDir).filePath(QStringLiteral("unsaved-script.json"));
}

QString ShowSession::RecoveredStatus(qsizetype line) {
    return line >= 0 ? QStringLiteral("已从异常退出中恢复：第 %1 句").arg(line + 1)
                     : QStringLiteral("已从异常退出中恢复");
}

QString ShowSession::OfferQuestion() {
    return QStringLiteral("发现未保存的字幕修改，是否恢复？");
}

QString ShowSession::KeptAtMessage(const QString& path) {
    return QStringLiteral("上次退出时未保存的字幕修改已另存为：") + QDir::toNativeSeparators(path);
}

// ---- recording

ShowState ShowSession::Snapshot() {
    ShowState s;
    const Playlist& playlist = m_parts.playlist;
    s.playlistPath = playlist.path();
    const QStringList& entries = playlist.entries();
    if (playlist.changed() || playlist.path().isEmpty()) {
        s.entries = entries;
    }
    s.entry = m_parts.player.selectedEntry();
    if (s.entry >= 0 && s.entry < entries.size()) {
        s.entryPath = entries[s.entry];
    }
    s.line = m_parts.player.selectedLine();
    const LineList& lines = m_parts.document.lines();
    if (s.line >= 0 && s.line < lines.size()) {
        s.lineText = lines[s.line].Text;
    }
    s.linkOpen = m_parts.live.IsConnected();
    s.brightness = m_parts.live.BrightnessLevel();
    s.player = m_parts.player.state();
    s.takenAtMs = m_clock();
    if (TrackIsMoving(s.player)) {
        s.positionMs = m_parts.player.PositionMs();
    }
    // What the screens show: a new line, or a link just opened (which sends
    // the line again), replaces a message or a cleared screen.
    if (s.line != m_last.line || (s.linkOpen && !m_last.linkOpen)) {
        m_screens = ScreenContent::Line;
    }
    s.screens = m_screens;
    if (m_screens == ScreenContent::TempText) {
        s.temp = m_temp;
    }
    return s;
}

void ShowSession::Record(ShowState state) {
    if (m_recordedOnce && state.SameShow(m_last)) {
        return;
    }
    m_recordedOnce = true;
    m_last = state;
    m_journal.Record(state);
    if (m_recorded) {
        m_recorded(state);
    }
}

void ShowSession::RecordCopy() {
    const SubtitleDocument& document = m_parts.document.document();
    std::optional<ScriptCopy> copy;
    if (document.modified && document.isOpen()) {
        copy = ScriptCopy{document.path, document.lines};
    }
    if (copy != m_lastCopy) {
        m_lastCopy = copy;
        m_journal.RecordCopy(copy);
    }
}

void ShowSession::CaptureSoon() {
    if (m_running && !m_captureTimer.isActive()) {
        m_captureTimer.start();
    }
}

bool ShowSession::WaitWritten(std::chrono::milliseconds limit) {
    if (m_captureTimer.isActive()) {
        Capture();
    }
    return m_journal.WaitWritten(limit);
}

void ShowSession::Capture() {
    m_captureTimer.stop();
    if (!m_running) {
        return;
    }
    Record(Snapshot());
    RecordCopy();
}

void ShowSession::OnHeartbeat() {
    if (!m_running) {
        return;
    }
    if (const std::optional<QString> failure = m_journal.TakeFailure();
        failure && !m_failureShown) {
        // Once: the show goes on, but the operator must know that a crash now
        // would not come back to this line.
        m_failureShown = true;
        m_parts.op.SetStatus(QStringLiteral("无法写入演出记录：") + *failure);
    }
    if (m_last.player != PlayerState::Playing || m_parts.player.track().stream == 0) {
        return;
    }
    const qint64 now = m_clock();
    const qint64 expected = m_last.positionMs + (now - m_last.takenAtMs);
    if (std::llabs(m_parts.player.PositionMs() - expected) > kDriftMs) {
        ShowState state = Snapshot();
        m_last = state;
        m_journal.Record(state);
        if (m_recorded) {
            m_recorded(state);
        }
    }
}

void ShowSession::NoteTempText(const TempTextShown& text) {
    if (!m_parts.live.IsConnected()) {
        return;
    }
    // A line change still waiting for its capture came before the message:
    // recorded after it, it would replace the message in the journal.
    Capture();
    m_screens = ScreenContent::TempText;
    m_temp = text;
    Capture();
}

void ShowSession::NoteScreensCleared() {
    if (!m_parts.live.IsConnected()) {
        return;
    }
    Capture(); // the line change before it, as for a message
    m_screens = ScreenContent::Blank;
    Capture();
}

IoStatus ShowSession::SetOptions(const RecoveryOptions& options) {
    m_options = options;
    return SaveRecoveryOptions(m_parts.configPath, options);
}

// ---- start-up

bool ShowSession::StartUp() {
    // What writers killed with the last run left behind.
    for (const QString& path :
         {m_journal.journalPath(), m_journal.copyPath(), m_parts.configPath}) {
        RemoveLeftoverTemporaryFiles(path);
    }
    m_previous = ShowJournal::ReadJournal(m_journal.journalPath());
    m_offered = ShowJournal::ReadCopy(m_journal.copyPath());
    // What a clean close left is still worth offering only when that close
    // could not put the edits anywhere else (it then kept this copy).
    const bool clean = !m_previous || m_previous->cleanExit;
    m_recovering = m_previous && !m_previous->cleanExit;
    if (m_recovering) {
        // The journal keeps the old show until the new one stands: a kill in
        // the middle of this comes back here again.
        Restore(*m_previous);
        return true;
    }
    m_parts.player.RestorePlaylist();
    m_running = true;
    Capture();
    const bool kept = clean && m_previous && !m_previous->editsKeptAt.isEmpty();
    m_startUpFinished = !kept && !m_offered;
    return !m_startUpFinished;
}

qsizetype ShowSession::FindEntry(const ShowState& previous) const {
    const QStringList& entries = m_parts.playlist.entries();
    if (previous.entry >= 0 && previous.entry < entries.size() &&
        entries[previous.entry] == previous.entryPath) {
        return previous.entry;
    }
    return previous.entryPath.isEmpty() ? -1 : entries.indexOf(previous.entryPath);
}

qsizetype ShowSession::FindLine(const ShowState& previous) const {
    const LineList& lines = m_parts.document.lines();
    const qsizetype at = previous.line;
    if (at < 0) {
        return -1;
    }
    if (at < lines.size() && lines[at].Text == previous.lineText) {
        return at;
    }
    // The list was built differently this time (other paragraphing): the
    // same text nearest to the old place.
    for (qsizetype distance = 1; distance < lines.size(); ++distance) {
        for (const qsizetype candidate : {at - distance, at + distance}) {
            if (candidate >= 0 && candidate < lines.size() &&
                lines[candidate].Text == previous.lineText) {
                return candidate;
            }
        }
    }
    return at < lines.size() ? at : -1;
}

void ShowSession::Restore(const ShowState& previous) {
    m_parts.settings.StoredSettings.Link.Light = previous.brightness;
    if (m_views.showBrightness) {
        m_views.showBrightness(previous.brightness);
    }
    m_parts.player.RecoverPlaylist(previous.playlistPath, previous.entries);
    const qsizetype entry = FindEntry(previous);
    if (entry >= 0) {
        m_parts.player.OpenEntry(entry);
    }
    const qsizetype line = FindLine(previous);
    if (line >= 0) {
        // Rendered now; the link sends it the moment it is open.
        m_parts.player.SelectLine(line);
    }
}

void ShowSession::BringBack(const ShowState& previous) {
    if (previous.linkOpen) {
        // Connecting sends the selected line again.
        m_parts.live.Connect();
    }
    const bool connected = m_parts.live.IsConnected();
    if (connected) {
        // A card that lost its power lost its brightness too.
        m_parts.worker.RequestBrightness(previous.brightness);
        if (previous.screens == ScreenContent::TempText && m_views.showTempText) {
            m_views.showTempText(previous.temp);
            m_screens = ScreenContent::TempText;
            m_temp = previous.temp;
        } else if (previous.screens == ScreenContent::Blank) {
            m_parts.live.ClearScreens();
            m_screens = ScreenContent::Blank;
        }
    }
    if (TrackIsMoving(previous.player)) {
        const bool play = previous.player == PlayerState::Playing && !m_options.pauseAfterRecovery;
        qint64 position = previous.positionMs;
        if (play) {
            position += std::max<qint64>(0, m_clock() - previous.takenAtMs);
        }
        m_parts.player.ResumeAt(position, play);
    }
    // The link state before must not count as a change of line.
    m_last.line = m_parts.player.selectedLine();
    m_last.linkOpen = connected;
}

void ShowSession::FinishStartUp() {
    if (m_recovering && m_previous) {
        if (!m_following) {
            BringBack(*m_previous);
        }
        m_parts.op.SetStatus(RecoveredStatus(m_parts.player.selectedLine()));
        m_running = true;
        Capture();
    } else if (m_previous && !m_previous->editsKeptAt.isEmpty()) {
        m_parts.op.Inform(KeptAtMessage(m_previous->editsKeptAt));
    }
    if (m_offered) {
        OfferCopy();
    }
    m_startUpFinished = true;
}

// ---- a station in a pair

void ShowSession::Follow(const ShowState& state, const QStringList& entries, bool reload) {
    if (reload || m_parts.playlist.entries() != entries) {
        m_parts.player.RecoverPlaylist(QString(), entries);
    }
    ShowState local = state;
    local.entryPath =
        state.entry >= 0 && state.entry < entries.size() ? entries[state.entry] : QString();
    const qsizetype entry = FindEntry(local);
    if (entry >= 0 && entry != m_parts.player.selectedEntry()) {
        m_parts.player.OpenEntry(entry);
    }
    const qsizetype line = FindLine(local);
    if (line >= 0 && line != m_parts.player.selectedLine()) {
        m_parts.player.SelectLine(line);
    }
    if (m_parts.settings.StoredSettings.Link.Light != state.brightness) {
        m_parts.settings.StoredSettings.Link.Light = state.brightness;
        if (m_views.showBrightness) {
            m_views.showBrightness(state.brightness);
        }
    }
}

void ShowSession::TakeOver(const ShowState& last) {
    m_following = false;
    BringBack(last);
    // BringBack set what is compared with to the new state, so that a
    // message on the screens is not taken for a change of line: recorded
    // whatever the comparison says.
    m_recordedOnce = false;
    Capture();
}

void ShowSession::OfferCopy() {
    const ScriptCopy copy = *m_offered;
    m_offered.reset();
    if (!m_parts.op.AskYesNo(OfferQuestion())) {
        // Declined: the copy goes, the file on disk stays as it is.
        m_lastCopy = copy;
        RecordCopy();
        return;
    }
    // The edits go into their script as unsaved changes, never over the file.
    // During a show (the link came back open) the running list is not
    // rebuilt under the operator: the edits go to a file beside the script.
    if (!m_parts.live.IsConnected() && m_parts.document.document().path != copy.scriptPath) {
        const QStringList& entries = m_parts.playlist.entries();
        for (qsizetype row = 0; row < entries.size(); ++row) {
            const QString& entry = entries[row];
            const QString script =
                EntryTypeOf(entry) == EntryType::Mp3 ? PartnerPath(entry) : entry;
            if (script == copy.scriptPath) {
                m_parts.player.OpenEntry(row);
                break;
            }
        }
    }
    if (!m_parts.live.IsConnected() && m_parts.document.document().path == copy.scriptPath) {
        m_parts.document.SetLines(copy.lines);
        if (m_views.showRecoveredEdits) {
            m_views.showRecoveredEdits();
        }
    } else {
        const QString kept = KeepBeside(copy.scriptPath, copy.lines, false);
        if (kept.isEmpty()) {
            m_parts.op.ShowError(WriteFailedMessage(copy.scriptPath));
            m_lastCopy.reset(); // the copy in the data directory stays
            return;
        }
        m_parts.op.Inform(KeptAtMessage(kept));
        m_lastCopy = copy;
    }
    RecordCopy();
}

// ---- closing

QString ShowSession::KeepBeside(const QString& script, const QStringList& lines,
                                bool currentDocument) {
    const QFileInfo info(script);
    const DocumentKind kind = KindOfPath(script);
    // A copy that is not the open document carries its lines only; a project
    // needs its settings, so it becomes plain text.
    const QString suffix =
        !currentDocument && kind == DocumentKind::Project ? QStringLiteral("txt") : info.suffix();
    const auto write = [&](const QString& path) {
        if (!currentDocument) {
            return WriteLineFile(path, lines);
        }
        return kind == DocumentKind::Project ? m_parts.document.SaveProject(path)
                                             : m_parts.document.SaveLines(path);
    };
    for (const QString& dir : {info.absolutePath(), m_parts.dataDir}) {
        if (!QDir().mkpath(dir)) {
            continue;
        }
        for (int n = 1; n < 100; ++n) {
            const QString mark =
                n == 1 ? QStringLiteral(".未保存") : QStringLiteral(".未保存(%1)").arg(n);
            const QString path =
                QDir(dir).filePath(info.completeBaseName() + mark +
                                   (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix));
            if (QFileInfo::exists(path)) {
                continue; // never over a file of the operator's
            }
            if (write(path)) {
                return path;
            }
            break; // this directory does not take it
        }
    }
    return {};
}

void ShowSession::End(const QString& editsKeptAt, bool keepCopy) {
    m_captureTimer.stop();
    m_running = false;
    ShowState state = Snapshot();
    state.cleanExit = true;
    state.editsKeptAt = editsKeptAt;
    m_last = state;
    m_journal.Record(state);
    if (!keepCopy) {
        m_lastCopy.reset();
        m_journal.RecordCopy(std::nullopt);
    }
    m_journal.WriteNow();
}

void ShowSession::EndAfterClose() {
    End(QString(), false);
}

QString ShowSession::EndUnattended() {
    const SubtitleDocument& document = m_parts.document.document();
    if (!document.modified || !document.isOpen()) {
        End(QString(), false);
        return {};
    }
    RecordCopy();
    const QString kept = KeepBeside(document.path, document.lines, true);
    End(kept, kept.isEmpty());
    return kept;
}
