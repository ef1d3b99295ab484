#include "PlaybackController.h"

#include "AudioEngine.h"

#include "core/Operator.h"
#include "documents/DocumentSession.h"
#include "documents/LineBuilding.h"
#include "documents/LyricTimeline.h"
#include "documents/Playlist.h"
#include "documents/ScriptEditing.h"

#include <QFileInfo>

#include <algorithm>

namespace {

const QString kReloadedNotice = QStringLiteral("字幕文件已在外部修改，已重新载入");
const QString kChangedOnDiskQuestion =
    QStringLiteral("字幕文件已在外部修改。是否载入修改后的文件？\n"
                   "选“是”载入外部修改，放弃本机尚未保存的修改；选“否”保留本机的修改。");

} // namespace

PlaybackController::PlaybackController(Parts parts)
    : m_settings(parts.settings), m_document(parts.document), m_playlist(parts.playlist),
      m_engine(parts.engine), m_op(parts.op), m_link(parts.link), m_screens(parts.screens),
      m_view(parts.view), m_heartbeat(parts.heartbeat), m_lineTimer(parts.lineTimer),
      m_nextFileTimer(parts.nextFileTimer) {
    m_heartbeat.SetHandler([this] { OnHeartbeat(); });
    m_lineTimer.SetHandler([this] { OnLineTimer(); });
    m_nextFileTimer.SetHandler([this] { OnNextFileTimer(); });
}

void PlaybackController::Start() {
    m_heartbeat.Start(kHeartbeatMs);
    ReportOutputNotice(m_engine, m_op);
}

PlayerButtons PlaybackController::buttons() const {
    PlayerButtons b;
    switch (m_state) {
    case PlayerState::Ready:
        b.play = true;
        break;
    case PlayerState::Playing:
        b.pause = true;
        b.stop = true;
        break;
    case PlayerState::Paused:
        b.play = true;
        b.playFromHere = true;
        b.stop = true;
        break;
    default:
        break;
    }
    const bool idle = m_state == PlayerState::NoDocument || m_state == PlayerState::Ready;
    b.playlistControls = idle && !m_link.IsLinkOpen();
    b.moveEntries = m_state == PlayerState::Ready;
    return b;
}

int PlaybackController::JumpSize() const {
    return m_settings.ActiveSettings.Text.Jump == 1 ? 1 : 2;
}

bool PlaybackController::TrackFileExists() const {
    return !m_trackPath.isEmpty() && QFileInfo(m_trackPath).isFile();
}

bool PlaybackController::ChannelActive() const {
    return m_engine.Activity(m_track.stream) != ChannelActivity::Stopped;
}

void PlaybackController::CloseLinkIfOpen() {
    if (m_link.IsLinkOpen()) {
        m_link.CloseLink();
    }
}

void PlaybackController::StopChannelIfActive() {
    if (ChannelActive()) {
        m_engine.Stop(m_track.stream);
    }
}

void PlaybackController::StartLineTimer() {
    m_lineTimer.Start(std::max(m_settings.Play.AutoPlayTimeText * 100, kMinLineIntervalMs));
}

void PlaybackController::StartNextFileTimer() {
    m_nextFileTimer.Start(m_settings.Play.AutoPlayTimeFile * 100);
}

// ---- play commands

void PlaybackController::BuildTimeTable() {
    // Only timed rows go into the table: a row without time (a title, a site
    // notice, an advert) would otherwise hold the following at itself.
    const DocumentTimeline timeline = BuildTimeline(m_document.document(), m_document.lines());
    if (timeline.timed) {
        for (const TimelineEntry& entry : timeline.entries) {
            m_timeTable.push_back({*entry.dueMs, entry.item});
        }
        return;
    }
    // An untimed script: the interval setting counts here as tens of seconds
    // per line.
    const qint64 stepMs = qint64(m_settings.Play.AutoPlayTimeText) * 10 * 1000;
    for (qsizetype i = 0; i < m_document.lines().size(); ++i) {
        m_timeTable.push_back({i * stepMs, i});
    }
}

void PlaybackController::PlayFromStart() {
    if (m_state != PlayerState::Ready && m_state != PlayerState::Paused) {
        return;
    }
    if (!m_link.IsLinkOpen()) {
        m_link.OpenLink();
    }
    m_timeTable.clear();
    m_timeIndex = 0;
    m_followHeldThrough = -1;
    m_clockMode = false;
    m_clockRunning = false;
    const bool trackExists = TrackFileExists();
    if (m_settings.Play.AutoPlayCaption) {
        BuildTimeTable();
        if (!trackExists && FollowsShowClock()) {
            // A surtitle is due at its time whether or not music plays: the
            // station's own clock stands in for the track.
            StartShowClock();
        } else if (!trackExists) {
            if (!m_document.lines().isEmpty()) {
                SelectLine(0);
            }
            StartLineTimer();
        }
    }
    if (trackExists) {
        OpenTrack(m_engine, m_track, m_trackPath);
        m_engine.Play(m_track.stream, true);
    }
    m_state = PlayerState::Playing;
    m_view.Refresh();
}

void PlaybackController::Continue() {
    if (m_state != PlayerState::Paused) {
        return;
    }
    if (m_clockMode) {
        ResumeShowClock();
    } else if (!TrackFileExists()) {
        StartLineTimer();
    } else if (m_engine.Activity(m_track.stream) != ChannelActivity::Playing) {
        // Paused, or (after a recovery that was told to pause) stopped at the
        // position where the show was: either way it plays on from there.
        m_engine.Play(m_track.stream, false);
    }
    m_state = PlayerState::Playing;
    m_view.Refresh();
}

void PlaybackController::Pause() {
    if (m_state != PlayerState::Playing) {
        return;
    }
    if (TrackFileExists() && m_engine.Activity(m_track.stream) == ChannelActivity::Playing) {
        m_engine.Pause(m_track.stream);
    }
    PauseShowClock();
    m_lineTimer.Stop();
    m_state = PlayerState::Paused;
    m_view.Refresh();
}

void PlaybackController::Stop() {
    if (m_state != PlayerState::Playing && m_state != PlayerState::Paused) {
        return;
    }
    m_state = PlayerState::Ready;
    CloseLinkIfOpen();
    if (ChannelActive()) {
        StopTrack(m_engine, m_track);
    }
    m_clockMode = false;
    m_clockRunning = false;
    m_lineTimer.Stop();
    m_progress = 0;
    m_nextFileTimer.Stop();
    m_view.Refresh();
}

void PlaybackController::SelectLine(qsizetype index) {
    SelectLineShowing(index, index);
}

void PlaybackController::SelectLineShowing(qsizetype index, qsizetype scrollTo) {
    const LineList& items = m_document.lines();
    if (index < 0 || index >= items.size() || index == m_selectedLine) {
        return;
    }
    m_selectedLine = index;
    const QString row1 = RenderLine(index);
    m_op.SetStatus(m_link.IsLinkOpen() ? QStringLiteral("【字幕】 ") + row1
                                       : QStringLiteral("未连接屏幕，请先点连接按钮。"));
    m_view.ShowLineSelection(index, scrollTo);
}

void PlaybackController::ForgetLineSelection() {
    m_selectedLine = -1;
    m_view.ShowLineSelection(-1, -1);
}

QString PlaybackController::RenderLine(qsizetype index) {
    const LineList& items = m_document.lines();
    const QString row1 = items[index].Text;
    // The blank after a surtitle blanks every row: the next cue must not
    // stand in the second row over the silence before it is due.
    const bool blank = m_document.document().kind == DocumentKind::Surtitle && row1.isEmpty();
    const QString row2 = !blank && index + 1 < items.size() ? items[index + 1].Text : QString();
    m_screens.RenderRows(row1, row2);
    return row1;
}

std::optional<QString> PlaybackController::ResendSelectedLine() {
    if (m_selectedLine < 0 || m_selectedLine >= m_document.lines().size()) {
        return std::nullopt;
    }
    return RenderLine(m_selectedLine);
}

void PlaybackController::StepLines(int n) {
    if (m_selectedLine < 0) {
        return;
    }
    const qsizetype count = m_document.lines().size();
    qsizetype target = -1;
    qsizetype scrollTo = -1;
    if (n > 0) {
        if (m_selectedLine >= count - n) {
            return;
        }
        target = m_selectedLine + n;
        scrollTo = target + 8 < count ? target + 8 : target;
    } else {
        const int a = -n;
        if (m_selectedLine < a) {
            return;
        }
        target = m_selectedLine - a;
        scrollTo = target >= 8 ? target - 7 : target;
    }
    // The moment of the key press, before the line is rendered: drawing three
    // screens takes time the song does not wait for.
    const double pressedAt = RecordingPosition();
    Stamp(target, pressedAt);
    SelectLineShowing(target, scrollTo);
}

double PlaybackController::RecordingPosition() {
    if (m_state != PlayerState::Recording) {
        return 0.0;
    }
    return m_engine.BytesToSeconds(m_track.stream, m_engine.PositionBytes(m_track.stream));
}

void PlaybackController::Stamp(qsizetype index, double seconds) {
    if (m_state == PlayerState::Recording) {
        m_document.StampTime(index, seconds);
    }
}

void PlaybackController::ChooseLine(qsizetype index) {
    if (index < 0 || index >= m_document.lines().size()) {
        return;
    }
    const double clickedAt = RecordingPosition();
    Stamp(index, clickedAt);
    if (index == m_selectedLine) {
        // A second click on the line takes it again; its time column shows
        // the new tag.
        m_view.ShowLineSelection(index, index);
        return;
    }
    SelectLine(index);
}

void PlaybackController::StepForwardByJump() {
    StepLines(JumpSize());
}

void PlaybackController::StepByKey(int direction) {
    if (m_selectedLine < 0) {
        // The first step of a show: nothing is on the screens yet, so the
        // first line is the only one the operator can mean.
        ChooseLine(0);
        return;
    }
    StepLines(direction < 0 ? -JumpSize() : JumpSize());
}

bool PlaybackController::HandleKey(PlayerKey key) {
    const PlayerButtons enabled = buttons();
    switch (key) {
    case PlayerKey::PageUp:
        StepByKey(-1);
        return true;
    case PlayerKey::PageDown:
        StepByKey(+1);
        return true;
    case PlayerKey::Tab:
        if (m_state != PlayerState::Playing && m_state != PlayerState::Paused) {
            return false;
        }
        Stop();
        m_op.ProcessEvents();
        SelectNextEntryWrapping();
        PlayFromStart();
        return true;
    case PlayerKey::F1:
        if (enabled.play && !m_dialogBusy) {
            PlayFromStart();
        }
        return false;
    case PlayerKey::F2:
        if (enabled.playFromHere) {
            Continue();
        }
        return false;
    case PlayerKey::F3:
        if (enabled.pause) {
            Pause();
        }
        return false;
    }
    return false;
}

void PlaybackController::SeekTo(int x, int width) {
    SeekByClick(m_engine, m_track, x, width);
}

// ---- time recording

void PlaybackController::StartRecording() {
    CloseLinkIfOpen();
    const SubtitleDocument& document = m_document.document();
    if (!document.isOpen()) {
        return;
    }
    if (document.kind != DocumentKind::Lyric && document.kind != DocumentKind::Surtitle) {
        m_op.Inform(EditingTexts::kOnlyLyricsRecord);
        return;
    }
    // Only from ready: a start while the track plays for the show (or is
    // paused) would restart it under the audience.
    if (!TrackFileExists() || m_state != PlayerState::Ready) {
        return;
    }
    m_timeTable.clear();
    m_timeIndex = 0;
    if (!OpenTrack(m_engine, m_track, m_trackPath)) {
        m_op.ShowError(QStringLiteral("无法播放音乐文件：") + m_trackPath);
        return;
    }
    m_engine.Play(m_track.stream, true);
    m_state = PlayerState::Recording;
    m_view.Refresh();
}

void PlaybackController::StopRecording() {
    CloseLinkIfOpen();
    if (m_state != PlayerState::Recording) {
        return;
    }
    // Also a track that ended by itself goes back to its start: the next
    // recording or show starts from the top.
    StopTrack(m_engine, m_track);
    m_progress = 0;
    m_state = PlayerState::Ready;
    if (m_document.document().kind == DocumentKind::Surtitle) {
        // The recorded times put the rows in a new order, and a cue may
        // now run into the next one or leave a gap before it.
        m_document.RebuildLineList();
        ForgetLineSelection();
    }
    m_view.Refresh();
}

// ---- the manual control window

void PlaybackController::ToggleLink() {
    if (m_link.IsLinkOpen()) {
        m_link.CloseLink();
    } else {
        m_link.OpenLink();
    }
    m_view.Refresh();
}

void PlaybackController::ManualPrevious() {
    StepLines(-JumpSize());
    if (m_selectedLine < 0) {
        SelectLine(0);
    }
}

void PlaybackController::ManualNext() {
    StepLines(JumpSize());
    if (m_selectedLine < 0) {
        SelectLine(0);
    }
}

// ---- timers

void PlaybackController::SelectNextEntryWrapping() {
    if (m_playlist.count() == 0) {
        return;
    }
    const qsizetype next = m_selectedEntry + 1 < m_playlist.count() ? m_selectedEntry + 1 : 0;
    OpenEntry(next);
}

void PlaybackController::OpenEntry(qsizetype row) {
    SelectEntry(row);
    m_view.ShowPlaylistSelection(m_selectedEntry);
}

void PlaybackController::EndOfFile() {
    m_progress = 0;
    Stop();
    m_op.ProcessEvents();
    switch (m_settings.Play.AutoPlayLoopMode) {
    case 1:
        StartNextFileTimer();
        break;
    case 2:
        if (m_selectedEntry >= 0 && m_selectedEntry + 1 < m_playlist.count()) {
            SelectEntry(m_selectedEntry + 1);
            m_view.ShowPlaylistSelection(m_selectedEntry);
            StartNextFileTimer();
        }
        break;
    case 3:
        SelectNextEntryWrapping();
        StartNextFileTimer();
        break;
    default:
        break;
    }
}

qint64 PlaybackController::TrackPositionMs() {
    const double seconds =
        m_engine.BytesToSeconds(m_track.stream, m_engine.PositionBytes(m_track.stream));
    return seconds > 0 ? qint64(seconds * 1000.0) : 0;
}

void PlaybackController::OnHeartbeat() {
    ReportOutputNotice(m_engine, m_op);
    qint64 p = 0;
    qint64 positionMs = 0;
    if (m_state == PlayerState::Playing) {
        if (ChannelActive()) {
            p = TrackSeconds(m_engine, m_track);
            positionMs = TrackPositionMs();
            m_progress = TrackProgress(m_engine, m_track);
        } else if (m_clockMode) {
            const qint64 clockMs = ShowClockMs();
            p = clockMs / 1000;
            FollowTimeTable(clockMs);
            // The file ends once its last row (the blank after the last cue)
            // has been shown.
            const qsizetype last = qsizetype(m_timeTable.size()) - 1;
            if (m_timeTable.empty() ||
                (m_timeIndex == last && m_timeTable[size_t(last)].dueMs <= clockMs)) {
                EndOfFile();
            }
        } else {
            // The track ended between two heartbeats: the lines due before its
            // end are still shown, so a last line close to the end is not lost
            // and the file can end.
            if (m_track.stream != 0 && !m_timeTable.empty()) {
                FollowTimeTable(TrackPositionMs());
            }
            if (m_timeTable.empty() || m_timeIndex == qsizetype(m_timeTable.size()) - 1) {
                EndOfFile();
            }
        }
    } else if (m_state == PlayerState::Recording) {
        if (ChannelActive()) {
            p = TrackSeconds(m_engine, m_track);
            m_progress = TrackProgress(m_engine, m_track);
        } else {
            // The track has ended: recording ends as with its stop command.
            StopRecording();
        }
    }
    DrawMeters(p);
    if (positionMs != 0 && m_state == PlayerState::Playing) {
        FollowTimeTable(positionMs);
    }
}

void PlaybackController::DrawMeters(qint64 p) {
    ReadTrackSpectrum(m_engine, m_track);
    m_spectrum.Draw(m_track.spectrum, m_state, p, m_track.duration);
    const LevelPercents levels = ReadTrackLevels(m_engine, m_track, p);
    m_volume.Draw(levels.left, levels.right, m_state);
    m_view.MetersUpdated();
}

void PlaybackController::FollowTimeTable(qint64 positionMs) {
    // The table is sorted by time and the index only moves forward: seeking
    // back keeps the line on screen, seeking forward jumps to the last line
    // that is due. Of several lines that became due since the last heartbeat
    // only the last is shown; the others would flash by unread.
    const qsizetype size = qsizetype(m_timeTable.size());
    if (m_timeIndex >= size) {
        return;
    }
    qsizetype i = m_timeIndex;
    while (i + 1 < size && m_timeTable[size_t(i + 1)].dueMs <= positionMs) {
        ++i;
    }
    m_timeIndex = i;
    if (i <= m_followHeldThrough) {
        return;
    }
    if (m_timeTable[size_t(i)].dueMs <= positionMs) {
        SelectLine(m_timeTable[size_t(i)].line);
    }
}

bool PlaybackController::FollowsShowClock() const {
    return m_document.document().kind == DocumentKind::Surtitle;
}

void PlaybackController::StartShowClock() {
    m_clockMode = true;
    m_clockElapsedUs = 0;
    m_clockRunning = false;
    ResumeShowClock();
}

void PlaybackController::PauseShowClock() {
    if (m_clockMode && m_clockRunning) {
        m_clockElapsedUs += m_clock->NowMicroseconds() - m_clockResumedUs;
        m_clockRunning = false;
    }
}

void PlaybackController::ResumeShowClock() {
    if (m_clockMode && !m_clockRunning) {
        m_clockResumedUs = m_clock->NowMicroseconds();
        m_clockRunning = true;
    }
}

qint64 PlaybackController::ShowClockMs() const {
    const qint64 running = m_clockRunning ? m_clock->NowMicroseconds() - m_clockResumedUs : 0;
    return (m_clockElapsedUs + running) / 1000;
}

qint64 PlaybackController::PlayPositionMs() {
    if (m_clockMode) {
        return ShowClockMs();
    }
    return m_track.stream != 0 ? TrackPositionMs() : 0;
}

void PlaybackController::OnLineTimer() {
    m_lineTimer.Stop();
    const qsizetype next = m_selectedLine + JumpSize();
    if (next >= m_document.lines().size()) {
        EndOfFile();
        return;
    }
    SelectLine(next);
    if (m_state == PlayerState::Playing) {
        StartLineTimer();
    }
}

void PlaybackController::OnNextFileTimer() {
    m_nextFileTimer.Stop();
    PlayFromStart();
}

// ---- playlist commands

void PlaybackController::CloseDocument() {
    m_document.Close();
    m_clockMode = false;
    m_clockRunning = false;
    m_followHeldThrough = -1;
    m_selectedLine = -1;
    m_state = PlayerState::NoDocument;
    CloseTrack(m_engine, m_track);
    m_progress = 0;
    m_trackPath.clear();
    m_timeTable.clear();
    m_timeIndex = 0;
    // With nothing to play no timer may step on.
    m_lineTimer.Stop();
    m_nextFileTimer.Stop();
}

void PlaybackController::NewPlaylist() {
    if (!m_playlist.SaveIfChanged(m_op, PlaylistFilters::kPlaylistOrAll)) {
        return;
    }
    StopChannelIfActive();
    m_playlist.Clear();
    m_selectedEntry = -1;
    CloseDocument();
    m_lyricColumns = false;
    m_screens.RenderRows(QString(), QString());
    m_view.ShowPlaylistSelection(-1);
    m_view.Refresh();
}

void PlaybackController::OpenPlaylist() {
    const QString path = m_op.ChooseOpenFile(PlaylistFilters::kPlaylistOrAll, QString());
    if (path.isEmpty()) {
        return;
    }
    if (EntryTypeOf(path) != EntryType::Unsupported) {
        m_op.Inform(
            QStringLiteral("LED工程文件、MP3文件、文本文件或歌词文件，请在右边列表中添加。"));
        return;
    }
    if (!path.endsWith(QStringLiteral(".lft"), Qt::CaseInsensitive)) {
        m_op.Inform(QStringLiteral("不支持的文件类型。"));
        return;
    }
    OpenPlaylistFile(path);
}

void PlaybackController::OpenPlaylistFile(const QString& path) {
    if (!m_playlist.SaveIfChanged(m_op, PlaylistFilters::kPlaylistOnly)) {
        return;
    }
    // Read the new list before dropping the old one, so an unreadable file
    // leaves the show as it was.
    Playlist opened;
    const IoStatus status = opened.Open(path, true);
    if (!status) {
        m_op.ShowError(status.message);
        return;
    }
    StopChannelIfActive();
    m_playlist = opened;
    m_selectedEntry = -1;
    CloseDocument();
    m_view.ShowPlaylistSelection(-1);
    if (m_playlist.count() > 0) {
        SelectEntry(0);
        m_view.ShowPlaylistSelection(0);
    }
    m_view.Refresh();
}

void PlaybackController::SavePlaylist() {
    m_playlist.Save(m_op);
    m_view.Refresh();
}

void PlaybackController::SavePlaylistAs() {
    m_playlist.SaveAs(m_op);
    m_view.Refresh();
}

void PlaybackController::AddEntry() {
    CloseLinkIfOpen();
    const QString path = m_op.ChooseOpenFile(PlaylistFilters::kEntries, QString());
    if (path.isEmpty()) {
        return;
    }
    AppendAndOpen(path);
}

void PlaybackController::OpenFile(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        m_op.Inform(QStringLiteral("找不到文件：") + path);
        return;
    }
    if (path.endsWith(QStringLiteral(".lft"), Qt::CaseInsensitive)) {
        OpenPlaylistFile(path);
        return;
    }
    // Any other file joins the list the operator has, the way 添加 adds it,
    // rather than replacing a list that may hold the rest of the night.
    CloseLinkIfOpen();
    AppendAndOpen(path);
}

void PlaybackController::AppendAndOpen(const QString& path) {
    if (m_playlist.Append(path)) {
        const qsizetype row = m_playlist.count() - 1;
        SelectEntry(row);
        m_view.ShowPlaylistSelection(row);
    } else {
        m_op.Inform(QStringLiteral("不支持该文件类型。"));
    }
    m_view.Refresh();
}

void PlaybackController::RemoveEntry() {
    CloseLinkIfOpen();
    if (m_selectedEntry < 0) {
        return;
    }
    m_playlist.Remove(m_selectedEntry);
    // The removed entry's script must not stay on as if it were still listed.
    SelectEntry(-1);
    m_view.ShowPlaylistSelection(-1);
    m_view.Refresh();
}

void PlaybackController::MoveEntry(int delta) {
    CloseLinkIfOpen();
    if (m_state != PlayerState::Ready || m_selectedEntry < 0) {
        return;
    }
    const qsizetype moved = m_playlist.Move(m_selectedEntry, delta);
    if (moved < 0) {
        return;
    }
    m_selectedEntry = -1; // the rows were rebuilt, so the moved row is selected anew
    SelectEntry(moved);
    m_view.ShowPlaylistSelection(moved);
}

void PlaybackController::SelectEntry(qsizetype row) {
    if (m_state == PlayerState::Playing || m_state == PlayerState::Paused) {
        Stop();
    } else if (ChannelActive()) {
        StopTrack(m_engine, m_track);
    }
    CloseDocument();
    m_selectedEntry = row >= 0 && row < m_playlist.count() ? row : -1;
    if (m_selectedEntry < 0) {
        m_lyricColumns = false;
        m_view.Refresh();
        return;
    }

    const QString entry = m_playlist.entries()[m_selectedEntry];
    const EntryType type = EntryTypeOf(entry);
    m_lyricColumns =
        type == EntryType::Mp3 || type == EntryType::Lyric || type == EntryType::Surtitle;
    const QString script = type == EntryType::Mp3 ? PartnerPath(entry) : entry;
    const QString track = type == EntryType::Mp3 ? entry
                          : type == EntryType::Lyric || type == EntryType::Surtitle
                              ? PartnerPath(entry)
                              : QString();
    if (QFileInfo(script).isFile()) {
        const IoStatus status = m_document.Load(script);
        if (status) {
            m_state = PlayerState::Ready;
        } else {
            m_op.ShowError(status.message);
        }
    }
    if (!track.isEmpty() && QFileInfo(track).isFile()) {
        m_trackPath = track;
        OpenTrack(m_engine, m_track, track);
        m_state = PlayerState::Ready;
    }
    m_view.Refresh();
}

bool PlaybackController::NewSubtitleFile(ScriptEditingDialogs& dialogs) {
    CloseLinkIfOpen();
    QString trackWithoutLyric;
    if (m_selectedEntry >= 0 && m_selectedEntry < m_playlist.count()) {
        const QString entry = m_playlist.entries()[m_selectedEntry];
        if (EntryTypeOf(entry) == EntryType::Mp3 && !QFileInfo(PartnerPath(entry)).isFile()) {
            trackWithoutLyric = entry;
        }
    }
    const std::optional<::NewSubtitleFile> made =
        CreateNewSubtitleFile(m_op, dialogs, m_settings.ActiveSettings, trackWithoutLyric);
    if (!made) {
        return false;
    }
    if (made->forTrack) {
        m_playlist.MarkHasScript(m_selectedEntry);
        const IoStatus status = m_document.LoadLyrics(made->path);
        if (!status) {
            m_op.ShowError(status.message);
            return false;
        }
        m_selectedLine = -1;
        m_state = PlayerState::Ready;
        m_view.Refresh();
        return true;
    }
    if (!m_playlist.Append(made->path)) {
        return false;
    }
    const qsizetype row = m_playlist.count() - 1;
    SelectEntry(row);
    m_view.ShowPlaylistSelection(row);
    m_view.Refresh();
    return m_document.document().path == made->path;
}

void PlaybackController::RestorePlaylist() {
    const QString path = m_settings.Play.LastOpenFile;
    m_playlist.Clear();
    m_selectedEntry = -1;
    if (!path.isEmpty() && QFileInfo(path).isFile()) {
        if (!m_playlist.Open(path, false)) {
            m_playlist.Clear();
        }
        if (m_playlist.count() > 0) {
            SelectEntry(0);
            m_view.ShowPlaylistSelection(0);
        }
    }
    m_view.Refresh();
}

void PlaybackController::ReloadChangedScript() {
    // The question below lets the watcher call again while it is open.
    if (m_askingAboutReload || !m_document.ChangedOnDisk()) {
        return;
    }
    if (m_document.document().modified) {
        m_askingAboutReload = true;
        const bool takeDisk = m_op.AskYesNo(kChangedOnDiskQuestion);
        m_askingAboutReload = false;
        if (!takeDisk) {
            // The edits stay and the next save writes over the change;
            // this change is not asked about again.
            m_document.AcceptDiskState();
            return;
        }
        if (!m_document.document().isOpen()) {
            return;
        }
    }
    const IoStatus status = m_document.Reload();
    if (!status) {
        m_op.ShowError(status.message);
        return;
    }
    const qsizetype count = m_document.lines().size();
    m_selectedLine = count == 0 ? -1 : std::min(m_selectedLine, count - 1);
    if (!m_timeTable.empty() &&
        (m_state == PlayerState::Playing || m_state == PlayerState::Paused)) {
        // The times may have changed too. What was due before the reload has
        // had its moment; the following goes on with the next line due.
        const qint64 positionMs = PlayPositionMs();
        m_timeTable.clear();
        BuildTimeTable();
        m_followHeldThrough = -1;
        for (qsizetype i = 0; i < qsizetype(m_timeTable.size()); ++i) {
            if (m_timeTable[size_t(i)].dueMs <= positionMs) {
                m_followHeldThrough = i;
            }
        }
        m_timeIndex = std::max<qsizetype>(m_followHeldThrough, 0);
    }
    m_view.Refresh();
    m_view.ShowLineSelection(m_selectedLine, m_selectedLine);
    m_op.SetStatus(kReloadedNotice);
}

void PlaybackController::ShutDownPlaylist() {
    m_playlist.SaveIfChanged(m_op, PlaylistFilters::kPlaylistOnly);
    m_settings.Play.LastOpenFile = m_playlist.path();
}

// ---- coming back after the station ended without closing

qint64 PlaybackController::PositionMs() {
    return m_track.stream != 0 ? TrackPositionMs() : 0;
}

void PlaybackController::RecoverPlaylist(const QString& path,
                                         const std::optional<QStringList>& entries) {
    StopChannelIfActive();
    m_playlist.Clear();
    m_selectedEntry = -1;
    CloseDocument();
    if (!path.isEmpty() && QFileInfo(path).isFile() && !m_playlist.Open(path, false)) {
        m_playlist.Clear();
    }
    if (entries) {
        m_playlist.ReplaceEntries(path, *entries);
    }
    m_view.ShowPlaylistSelection(-1);
    m_view.Refresh();
}

void PlaybackController::ResumeAt(qint64 positionMs, bool playing) {
    if (m_state != PlayerState::Ready) {
        return;
    }
    m_timeTable.clear();
    m_timeIndex = 0;
    if (m_settings.Play.AutoPlayCaption) {
        BuildTimeTable();
    }
    if (TrackFileExists()) {
        // The entry's stream is open already; opening it again would cost the
        // time the position was reckoned for.
        if (m_track.stream == 0 && !OpenTrack(m_engine, m_track, m_trackPath)) {
            return;
        }
        qint64 bytes = std::clamp<qint64>(positionMs, 0, qint64(1) << 40) * kBytesPerSecond / 1000;
        bytes = std::min(bytes - bytes % kBytesPerFrame, m_engine.LengthBytes(m_track.stream));
        m_engine.SetPositionBytes(m_track.stream, bytes);
        if (playing) {
            m_engine.Play(m_track.stream, false);
        }
        m_progress = TrackProgress(m_engine, m_track);
        if (!m_timeTable.empty()) {
            FollowTimeTable(qint64(BytesToSecondsOfPcm(bytes) * 1000.0));
        }
    } else if (playing) {
        StartLineTimer();
    }
    m_state = playing ? PlayerState::Playing : PlayerState::Paused;
    m_view.Refresh();
}
