#pragma once

#include <QString>

// What the remote command set needs from the main window beyond the player:
// the window's own state that only it can see (a modal dialog, a command
// waiting for the cards) and the live commands of the link, which the window
// runs with its own texts and renderer. Everything is called on the
// user-interface thread; nothing here may open a dialog.
class RemoteStationHost {
public:
    virtual ~RemoteStationHost() = default;
    // A modal dialog or message box is open: the operator is being asked
    // something, and no remote may act behind their back.
    virtual bool ModalDialogOpen() const = 0;
    // A connect or disconnect, an offline transfer or a card search is
    // waiting for the cards (and lets events run meanwhile).
    virtual bool WaitingForCards() const = 0;
    virtual bool IsConnected() const = 0;
    virtual int BrightnessLevel() const = 0;
    // The window's clear-screens command (F4); only called while connected.
    virtual void ClearScreens() = 0;
    // A temporary message as the F6 dialog sends it, in the colour last used;
    // only called while connected.
    virtual void ShowTempText(const QString& row1, const QString& row2) = 0;
    // Sets the brightness level (0..16) as the brightness buttons do; only
    // called while connected.
    virtual void SetBrightness(int level) = 0;
    // This station is the backup of another one: it mirrors that one's show
    // and takes no command until it takes over.
    virtual bool FollowsAnotherStation() const { return false; }
};
