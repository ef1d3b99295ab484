#pragma once

#include "RecoveryOptions.h"
#include "ShowJournal.h"
#include "ShowState.h"

#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class DocumentSession;
class LiveControl;
class OperatorInterface;
class PlaybackController;
class Playlist;
class TLedThread;
struct SettingsStore;

// What bringing the show back needs from the window beyond the engines.
struct ShowSessionViews {
    // Renders a temporary message on the screens, as the F6 command does.
    std::function<void(const TempTextShown&)> showTempText;
    // The brightness button's caption for a level.
    std::function<void(int)> showBrightness;
    // The document holds recovered edits: the window shows them on the
    // editing page (the line list was rebuilt and has no selection).
    std::function<void()> showRecoveredEdits;
};

// The station's side of the show journal. While the station runs it records
// every change that matters (entry, line, link, brightness, player, the
// temporary text, unsaved edits of the script); the writing happens off the
// user-interface thread. At start-up it tells a clean end from any other:
// after a kill, a crash or a power cut the playlist, the entry and the line
// come back, the link is opened and the line sent again, a playing track goes
// on where it would be by now, all without a question; only unsaved edits are
// offered first. User-interface thread only.
class ShowSession {
public:
    struct Parts {
        SettingsStore& settings;
        DocumentSession& document;
        Playlist& playlist;
        PlaybackController& player;
        LiveControl& live;
        TLedThread& worker;
        OperatorInterface& op;
        QString configPath;
        QString dataDir; // the journal and the copy of unsaved edits live here
    };
    // `wallClockMs`: milliseconds since the epoch (tests step it by hand).
    ShowSession(Parts parts, ShowSessionViews views, std::function<qint64()> wallClockMs = {});
    ~ShowSession();
    ShowSession(const ShowSession&) = delete;
    ShowSession& operator=(const ShowSession&) = delete;

    static QString JournalPath(const QString& dataDir);
    static QString CopyPath(const QString& dataDir);
    static QString RecoveredStatus(qsizetype line);
    static QString OfferQuestion();
    static QString KeptAtMessage(const QString& path);

    // ---- start-up, at the window's first showing
    // Reads what the previous run left. After an unclean end the playlist,
    // the entry and the line are as they were (nothing sent yet); otherwise
    // the last playlist is restored as at every start. True when more follows
    // once the window runs (FinishStartUp).
    bool StartUp();
    // After an unclean end: connects and sends the line again, the temporary
    // text, the brightness, the track; says so on the status line. Then
    // offers unsaved edits, or says where an unattended close kept them.
    void FinishStartUp();
    // The previous run ended without closing.
    bool recovered() const { return m_recovering; }
    // Nothing of the start-up is left to do.
    bool startUpFinished() const { return m_startUpFinished; }

    // ---- while the station runs
    // After any change the window shows: what changed is recorded once the
    // current event is handled, so a key that sends a line hands its frame
    // to the worker first. Several changes in one event are recorded once.
    void CaptureSoon();
    // Records what changed now.
    void Capture();
    // The player's heartbeat: a seek, or a track clock that drifted from the
    // wall clock, is recorded; a journal that cannot be written is reported once.
    void OnHeartbeat();
    // A temporary message went to the screens (when the link is open).
    void NoteTempText(const TempTextShown& text);
    // The screens were cleared.
    void NoteScreensCleared();

    // Told of every change recorded (the mirror of a backup station).
    void SetRecordedHook(std::function<void(const ShowState&)> hook) {
        m_recorded = std::move(hook);
    }
    // The show as it stands now, recorded or not.
    ShowState Current() { return Snapshot(); }

    // ---- a station in a pair
    // While this station follows another one, nothing of its own show goes
    // to the cards: a start-up after an unclean end brings back the
    // playlist, the entry and the line, not the link.
    void SetFollowing(bool following) { m_following = following; }
    // Shows what the main station shows: `entries` is its playlist as this
    // station keeps it; `reload` reads the files again (they changed).
    // Nothing is sent.
    void Follow(const ShowState& state, const QStringList& entries, bool reload = false);
    // This station takes the show over: the link as the main station had it,
    // the line sent again, the temporary text or the cleared screens, the
    // brightness, the track where it would be by now.
    void TakeOver(const ShowState& last);

    const RecoveryOptions& options() const { return m_options; }
    // Stored in Config.ini at once.
    IoStatus SetOptions(const RecoveryOptions& options);

    // ---- closing
    // The last act of a close the operator made: the clean mark, on the disk;
    // unsaved edits were saved or dropped as they said.
    void EndAfterClose();
    // The last act of a close nobody could be asked about (a terminating
    // signal): unsaved edits are written to a file beside the script (in the
    // data directory when that fails), the next start says where; then the
    // clean mark. Returns that file, empty when there were no edits or no
    // place could take them (the copy of the journal is then offered at the
    // next start).
    QString EndUnattended();

    // Waits until the journal holds every change so far (tests, tools).
    bool WaitWritten(std::chrono::milliseconds limit);

private:
    ShowState Snapshot();
    void Record(ShowState state);
    void RecordCopy();
    void Restore(const ShowState& previous);
    qsizetype FindEntry(const ShowState& previous) const;
    qsizetype FindLine(const ShowState& previous) const;
    void OfferCopy();
    // The link, the screens and the track as `previous` had them.
    void BringBack(const ShowState& previous);
    // Writes `lines` of `script` to a free name beside it ("歌名.未保存.lrc"),
    // or in the data directory; the file, or empty.
    QString KeepBeside(const QString& script, const QStringList& lines, bool currentDocument);
    void End(const QString& editsKeptAt, bool keepCopy);

    Parts m_parts;
    ShowSessionViews m_views;
    std::function<qint64()> m_clock;
    ShowJournal m_journal;
    RecoveryOptions m_options;
    QTimer m_captureTimer;

    std::optional<ShowState> m_previous;
    std::optional<ScriptCopy> m_offered;
    bool m_recovering = false;
    bool m_startUpFinished = false;
    bool m_running = false;
    bool m_recordedOnce = false;
    bool m_failureShown = false;
    bool m_following = false;
    std::function<void(const ShowState&)> m_recorded;

    ShowState m_last;
    std::optional<ScriptCopy> m_lastCopy;
    ScreenContent m_screens = ScreenContent::Line;
    TempTextShown m_temp;
};
