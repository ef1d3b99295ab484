#pragma once

#include "LedThread.h"
#include "StationLink.h"

#include "core/Operator.h"
#include "core/ScreenId.h"
#include "core/Settings.h"

#include <QString>

#include <functional>
#include <optional>

// What the live commands need from the main window beyond the operator
// interface. Every call is on the user-interface thread; the defaults do nothing.
class LiveControlHost {
public:
    virtual ~LiveControlHost() = default;
    // Selects the script line that is selected again, so that it is rendered and
    // sent at once; returns its text, or nullopt when no line is selected.
    virtual std::optional<QString> ReselectLine() { return std::nullopt; }
    // Stops playback when it is playing or paused.
    virtual void StopPlayback() {}
    // Brings the enabled state of the window's commands in step with the link.
    virtual void RefreshCommands() {}
    // Renders an empty line (both rows empty) into the screen, which sends a
    // blank frame when the screen is in use.
    virtual void RenderEmptyLine(ScreenId) {}
    // ButtonLight's caption changed ("调亮(" + level + ")").
    virtual void ShowBrightnessCaption(const QString&) {}
    // Shows the offline-transfer dialog.
    virtual void ShowOfflineTransfer() {}
};

// The operator's commands on the link as a whole: connect and disconnect
// (all three screens), brightness step, clear screens, the offline/synchronous
// switch and reset, with their messages and status texts. It reads the
// settings it is given on every command: ActiveSettings for the screens,
// StoredSettings.Link.Light for the brightness, Ad.play for the disconnect, and
// the card lists.
//
// Connect and disconnect wait for cards that may not answer (seconds with
// unreachable cards); the waiting sends run on a helper thread while this
// thread keeps calling OperatorInterface::ProcessEvents, so the window keeps
// repainting. Steps and messages keep their order. While a sequence runs, a
// second connect or disconnect (from an event processed meanwhile) is ignored.
// The worker is held at a pause point whenever this side sends.
//
// Called on the user-interface thread only. Everything given to the
// constructor must outlive the object.
class LiveControl {
public:
    LiveControl(StationLink& link, TLedThread& worker, SettingsStore& settings,
                OperatorInterface& op, LiveControlHost* host = nullptr);

    bool IsConnected() const { return m_connected; }
    // A connect or disconnect sequence is running.
    bool IsBusy() const { return m_busy; }

    // MenuSent / ButtonSent / F5: connects when not connected, else disconnects.
    void ToggleConnection();
    // The connect command: the connect sequence, connected, the selected line
    // again, the status text, the commands refreshed. Nothing when connected.
    void Connect();
    // The disconnect command: the disconnect sequence, not connected, playback
    // stopped, the status text, the commands refreshed. Nothing when not connected.
    void Disconnect();

    // Brightness step: refused when not connected; otherwise 0..16 with 16 → 0,
    // the caption, the status text and the worker's brightness request. The
    // wrap to 0 blacks out every screen, so it is asked first.
    void StepBrightness();
    // One step darker, stopping at 0: the way back from a level too bright
    // without passing through 0. Refused when not connected.
    void LowerBrightness();
    // Sets the level at once (a remote's brightness command), clamped to
    // 0..16; refused when not connected.
    void SetBrightness(int level);
    // Offline / synchronous switch: refused while connected; otherwise the
    // offline-transfer dialog.
    void SwitchOfflineSync();
    // Blank frames on every screen in use; refused when not connected.
    void ClearScreens();
    // Only the status text changes.
    void Reset();
    // For commands that must not run during a live link (offline transfer,
    // screen parameters, readback): when connected, shows
    // "请先断开与字幕机的连接。" and returns true; while a connect or
    // disconnect sequence runs, says so in the status line and returns true.
    bool RefuseWhileConnected();

    int BrightnessLevel() const;
    static QString BrightnessCaption(int level);

    // The sequences alone (the commands above run them).
    void RunConnectSequence();
    void RunDisconnectSequence();

private:
    bool Exchange(ScreenId screen, const Command& command, const WaitBudget& budget);
    void SendBrightness(int level);
    // Waits, letting events run, until the suspended worker stands still.
    void HoldWorker();
    void EnsureListener(ScreenId screen, bool& reported);

    StationLink& m_link;
    TLedThread& m_worker;
    SettingsStore& m_settings;
    OperatorInterface& m_op;
    LiveControlHost* m_host;
    bool m_connected = false;
    bool m_busy = false;
};
