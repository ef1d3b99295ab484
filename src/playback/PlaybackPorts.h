#pragma once

#include <QString>
#include <QtGlobal>

// What the playback controller drives outside its own library. The main
// window wires them to the link's live commands, the renderer and its
// widgets; tests record them. All called on the user-interface thread.

// The connection to the cards.
class LinkPort {
public:
    virtual ~LinkPort() = default;
    virtual bool IsLinkOpen() const = 0;
    // Connects (shows its own messages on failure).
    virtual void OpenLink() = 0;
    virtual void CloseLink() = 0;
};

// The three screens: renders two rows on every screen in use, showing the
// renderer's own message when a row is too long.
class ScreenPort {
public:
    virtual ~ScreenPort() = default;
    virtual void RenderRows(const QString& row1, const QString& row2) = 0;
};

// The widgets that show the controller's state.
class PlaybackView {
public:
    virtual ~PlaybackView() = default;
    // Brings every control in step with the player and link state.
    virtual void Refresh() = 0;
    // The line list's selection moved to `index` (-1 none); `scrollTo` is the
    // row to make visible. The row is focused.
    virtual void ShowLineSelection(qsizetype index, qsizetype scrollTo) = 0;
    // The file list's selection moved to `row` (-1 none), focused and visible.
    virtual void ShowPlaylistSelection(qsizetype row) = 0;
    // The meters and the progress bar have new pictures.
    virtual void MetersUpdated() = 0;
};
