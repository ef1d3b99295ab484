#pragma once

#include "documents/DocumentSession.h"
#include "documents/Playlist.h"
#include "link/LiveControl.h"
#include "offline/OfflineGeneration.h"
#include "playback/PlaybackController.h"
#include "playback/PlaybackPorts.h"
#include "render/TextRenderer.h"

class OperatorInterface;

// The playback controller's link is the live connect and disconnect commands.
class LiveLinkPort final : public LinkPort {
public:
    explicit LiveLinkPort(LiveControl& live) : m_live(live) {}
    bool IsLinkOpen() const override { return m_live.IsConnected(); }
    void OpenLink() override { m_live.Connect(); }
    void CloseLink() override { m_live.Disconnect(); }

private:
    LiveControl& m_live;
};

// The playback controller's screens: the renderer on the three screens in
// turn. A row too long for a screen shows the renderer's message and leaves
// that screen as it was; the other screens still get the line.
class RendererScreens final : public ScreenPort {
public:
    RendererScreens(TextRenderer& renderer, OperatorInterface& op)
        : m_renderer(renderer), m_op(op) {}
    void RenderRows(const QString& row1, const QString& row2) override;

private:
    TextRenderer& m_renderer;
    OperatorInterface& m_op;
};

// Offline generation replays the station's own display path: the player opens
// each playlist entry and selects each line as the operator would, so the
// stored frames are those the screens would show.
class PlayerReplay final : public OfflineReplay {
public:
    PlayerReplay(PlaybackController& player, const Playlist& playlist,
                 const DocumentSession& document, TextRenderer& renderer)
        : m_player(player), m_playlist(playlist), m_document(document), m_renderer(renderer) {}
    int EntryCount() const override { return static_cast<int>(m_playlist.count()); }
    QString EntryName(int entry) const override { return m_playlist.rows().value(entry).name; }
    void SelectEntry(int entry) override { m_player.OpenEntry(entry); }
    int RowCount() const override { return static_cast<int>(m_document.lines().size()); }
    void SelectRow(int row) override;
    void RenderTitle(ScreenId screen, const QString& row1) override {
        m_renderer.RenderSubtitle(screen, row1, QString());
    }
    void ProcessEvents() override;

private:
    PlaybackController& m_player;
    const Playlist& m_playlist;
    const DocumentSession& m_document;
    TextRenderer& m_renderer;
};
