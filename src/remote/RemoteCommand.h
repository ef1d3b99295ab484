#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The commands a show-control desk or a phone may give the station. Every way
// in from outside the window (OSC, the web remote) turns its input into one of
// these and hands it to RemoteCommandSet on the user-interface thread.
enum class RemoteVerb {
    Next,        // the next line, as Enter does
    Previous,    // the previous line, as Page Up does
    GoToLine,    // line `number` (from 1) of the open entry, as a click does
    SelectEntry, // entry `number` (from 1) of the playlist, as a click in the file list
    Clear,       // blank every screen (F4)
    Connect,
    Disconnect,
    TempText,   // `row1` and `row2` as a temporary message (F6)
    Brightness, // level `number`, 0..16
    Play,       // from the start when ready, on from the position when paused
    Pause,
    Stop,
};

struct RemoteCommand {
    RemoteVerb verb = RemoteVerb::Next;
    int number = 0;
    QString row1;
    QString row2;
    bool operator==(const RemoteCommand&) const = default;
};

// The verb's name in OSC addresses and the web remote's messages ("next", "go").
QString RemoteVerbName(RemoteVerb verb);
std::optional<RemoteVerb> RemoteVerbFromName(const QString& name);

// What became of a command: done, or refused with the reason the operator or
// the remote user reads.
struct RemoteResult {
    bool ok = true;
    QString reason; // empty when done

    static RemoteResult Done() { return {}; }
    static RemoteResult Refused(QString why) { return {false, std::move(why)}; }
};

// Limits shared by every way in. A temporary message row is short on any
// screen; anything longer is a mistake or an attack.
inline constexpr int kMaxRemoteRowLength = 64;
inline constexpr int kMaxBrightnessLevel = 16;

// What the station shows, as the remotes report it. Numbers count from 1;
// 0 means none.
struct RemoteShowState {
    int entry = 0;
    QString entryName;
    int entryCount = 0;
    int line = 0;
    int lineCount = 0;
    QString text;     // the selected line
    QString nextText; // the line after it
    bool connected = false;
    QString player; // "none", "ready", "playing", "paused", "recording"
    int brightness = 0;
    // Changes whenever the line list is rebuilt, so a remote knows when to
    // fetch the lines again.
    quint64 linesVersion = 0;
    bool operator==(const RemoteShowState&) const = default;
};
