#pragma once

#include "AudioClock.h"
#include "ControllerTimer.h"
#include "PlaybackPorts.h"
#include "PlayerState.h"
#include "Spectrum.h"
#include "TrackOperations.h"
#include "Volume.h"

#include "core/Settings.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class AudioEngine;
class DocumentSession;
class OperatorInterface;
class Playlist;
class ScriptEditingDialogs;

// One row of the time table: the line that is due at a position of the track.
struct TimedLine {
    qint64 dueMs = 0;
    qsizetype line = -1;
    bool operator==(const TimedLine&) const = default;
};

// Which play and playlist controls the main window enables.
struct PlayerButtons {
    bool play = false;         // "从头播放 F1"
    bool playFromHere = false; // "继续播放 F2"
    bool pause = false;        // "暂停 F3"
    bool stop = false;         // "停止 F4"
    // New-script and add/remove buttons, file list, play mode, auto-caption
    // box and the two intervals.
    bool playlistControls = false;
    // "上移" / "下移" in the file list's pop-up menu.
    bool moveEntries = false;
    bool operator==(const PlayerButtons&) const = default;
};

// Keys inspected for the whole application before any control sees them.
enum class PlayerKey { PageUp, PageDown, Tab, F1, F2, F3 };

// The player: states, the play commands and keys, the line timer, the time
// table that lets lyric lines follow the track, the play modes at the end of
// a file, line selection, and the playlist commands that open entries. Lives
// on the user-interface thread; every outside effect goes through the ports.
class PlaybackController {
public:
    struct Parts {
        SettingsStore& settings;
        DocumentSession& document;
        Playlist& playlist;
        AudioEngine& engine;
        OperatorInterface& op;
        LinkPort& link;
        ScreenPort& screens;
        PlaybackView& view;
        ControllerTimer& heartbeat;     // TimerSpectrum, 100 ms, always running
        ControllerTimer& lineTimer;     // TimerAutoPlay
        ControllerTimer& nextFileTimer; // TimerPlayNext, one-shot
    };
    explicit PlaybackController(Parts parts);
    PlaybackController(const PlaybackController&) = delete;
    PlaybackController& operator=(const PlaybackController&) = delete;

    static constexpr int kHeartbeatMs = 100;
    // The line timer never runs faster than this: an interval of 0 would run
    // through a whole script in one go.
    static constexpr int kMinLineIntervalMs = 100;

    // Starts the heartbeat.
    void Start();
    // The clock a subtitle file without a track is played by (the steady
    // clock unless a test gives its own).
    void setShowClock(std::shared_ptr<AudioClock> clock) { m_clock = std::move(clock); }

    // ---- state
    PlayerState state() const { return m_state; }
    const QString& trackPath() const { return m_trackPath; }
    const AudioTrack& track() const { return m_track; }
    const std::vector<TimedLine>& timeTable() const { return m_timeTable; }
    qsizetype timeIndex() const { return m_timeIndex; }
    int progress() const { return m_progress; }
    qsizetype selectedLine() const { return m_selectedLine; }
    qsizetype selectedEntry() const { return m_selectedEntry; }
    // The current entry is a lyric or an MP3: the line list shows the time column.
    bool lyricColumns() const { return m_lyricColumns; }
    bool dialogBusy() const { return m_dialogBusy; }
    void setDialogBusy(bool busy) { m_dialogBusy = busy; }
    PlayerButtons buttons() const;
    const TSpectrum& spectrum() const { return m_spectrum; }
    const TVolume& volume() const { return m_volume; }

    // ---- play commands
    void PlayFromStart();
    void Continue();
    void Pause();
    void Stop();
    // n in {+1, +2, -1, -2}: moves the selected line, only when it can move
    // the whole step.
    void StepLines(int n);
    // The line list's selection: renders the line and the next one on the
    // screens. Selecting the selected line changes nothing.
    void SelectLine(qsizetype index);
    // The line list was rebuilt (new paragraphing): no line is selected any
    // more, so the next selection of any line renders it.
    void ForgetLineSelection();
    // The link was just opened: renders the selected line (and the next) again
    // so it is sent at once. Its text, or nullopt when no line is selected.
    std::optional<QString> ResendSelectedLine();
    // The operator chose a line in the line list (a click): selects it, and
    // while recording stamps it with the track position of the click.
    void ChooseLine(qsizetype index);
    // Returns true when the key was consumed.
    bool HandleKey(PlayerKey key);
    // Space in the line list.
    void StepForwardByJump();
    // The show keys (Space, Enter and Page Down forward, Page Up back), wherever
    // the focus is: one jump, or with no line selected the first line, as the
    // manual window's buttons do. While recording the line taken is stamped.
    void StepByKey(int direction);
    // A click at x on the progress bar, width pixels wide.
    void SeekTo(int x, int width);

    // ---- time recording (lyric documents with their track)
    // "开始": plays the track from its beginning in state 4; every line
    // selected from then on is stamped with the track position.
    void StartRecording();
    // "停止", the end of the track and the closing station: the track is
    // stopped and rewound, state 1.
    void StopRecording();

    // ---- the manual control window
    void ToggleLink();
    void ManualPrevious();
    void ManualNext();

    // ---- timers
    void OnHeartbeat();
    void OnLineTimer();
    void OnNextFileTimer();

    // ---- playlist commands
    void NewPlaylist();
    void OpenPlaylist();
    // A file named on the command line (a double click in a file manager): a
    // playlist (.lft) is opened as "打开列表" opens it; a script, lyric file,
    // project, MP3 or subtitle file is added to the list and opened, as
    // "添加" does. Anything else, or a file that is not there, is reported.
    void OpenFile(const QString& path);
    void SavePlaylist();
    void SavePlaylistAs();
    void AddEntry();
    void RemoveEntry();
    void MoveEntry(int delta);
    // The file list's selection (-1: no row selected any more).
    void SelectEntry(qsizetype row);
    // SelectEntry, and the file list shows the row selected: for every entry
    // the station opens by itself, so the highlight never lies about the
    // document loaded.
    void OpenEntry(qsizetype row);
    // "新建字幕": makes the file (ScriptEditing) and opens it: a track's new
    // lyric file becomes its document, an independent file a new entry that
    // is selected. True when a file was made and opened.
    bool NewSubtitleFile(ScriptEditingDialogs& dialogs);
    // Reopens the playlist of the last session.
    void RestorePlaylist();

    // ---- the open script changed on disk
    // Reads it again when another program changed it: the selected line
    // number stays selected and nothing is sent until the operator steps or
    // the next line becomes due. With unsaved edits the operator chooses
    // which to keep.
    void ReloadChangedScript();
    // Before the main window closes: offers to save the list and remembers it.
    void ShutDownPlaylist();

    // ---- coming back after the station ended without closing
    // The track position in milliseconds; 0 without a track.
    qint64 PositionMs();
    // The list as it was shown: the file at `path` (when it still exists), or
    // `entries` in place of its own when given, so additions never saved come
    // back too (the list is then changed, as it was). No entry is open
    // afterwards; nothing is asked.
    void RecoverPlaylist(const QString& path, const std::optional<QStringList>& entries);
    // From ready: the track goes on at `positionMs`, playing or standing
    // paused there, and the line due there is selected; a script without a
    // track goes on from the selected line with the line timer, or stands paused.
    void ResumeAt(qint64 positionMs, bool playing);

private:
    int JumpSize() const;
    void SelectLineShowing(qsizetype index, qsizetype scrollTo);
    // The track position in seconds, read before anything else is done with
    // a key press or click, and written into the selected line.
    double RecordingPosition();
    void Stamp(qsizetype index, double seconds);
    // Renders line `index` (row 1) and the next (row 2); returns row 1.
    QString RenderLine(qsizetype index);
    void StartLineTimer();
    void EndOfFile();
    void SelectNextEntryWrapping();
    void StartNextFileTimer();
    void BuildTimeTable();
    void FollowTimeTable(qint64 positionMs);
    // A subtitle file without a track follows the show clock from F1.
    bool FollowsShowClock() const;
    void StartShowClock();
    void PauseShowClock();
    void ResumeShowClock();
    qint64 ShowClockMs() const;
    // Where playback stands: the track's position, or the show clock's.
    qint64 PlayPositionMs();
    qint64 TrackPositionMs();
    void DrawMeters(qint64 p);
    void CloseDocument();
    void CloseLinkIfOpen();
    // The list at `path` replaces the current one (offered for saving first).
    void OpenPlaylistFile(const QString& path);
    // Appends a supported entry and selects it, or says the type is not supported.
    void AppendAndOpen(const QString& path);
    void StopChannelIfActive();
    bool ChannelActive() const;
    bool TrackFileExists() const;

    SettingsStore& m_settings;
    DocumentSession& m_document;
    Playlist& m_playlist;
    AudioEngine& m_engine;
    OperatorInterface& m_op;
    LinkPort& m_link;
    ScreenPort& m_screens;
    PlaybackView& m_view;
    ControllerTimer& m_heartbeat;
    ControllerTimer& m_lineTimer;
    ControllerTimer& m_nextFileTimer;

    PlayerState m_state = PlayerState::NoDocument;
    QString m_trackPath;
    AudioTrack m_track;
    std::vector<TimedLine> m_timeTable;
    qsizetype m_timeIndex = 0;
    bool m_dialogBusy = false;
    int m_progress = 0;
    qsizetype m_selectedLine = -1;
    qsizetype m_selectedEntry = -1;
    bool m_lyricColumns = false;
    std::shared_ptr<AudioClock> m_clock = std::make_shared<SteadyAudioClock>();
    bool m_clockMode = false;    // the time table follows the show clock
    bool m_clockRunning = false; // not paused
    qint64 m_clockElapsedUs = 0; // up to the last pause
    qint64 m_clockResumedUs = 0;
    // After a reload while playing, the entries already due then are not
    // shown again: the following waits for the next one.
    qsizetype m_followHeldThrough = -1;
    bool m_askingAboutReload = false;
    TSpectrum m_spectrum{162, 70};
    TVolume m_volume{22, 70};
};
