#pragma once

#include "link/LiveControl.h"
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
