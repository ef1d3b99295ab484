#pragma once

#include "OfflineGeneration.h"

#include "core/Operator.h"
#include "core/Settings.h"
#include "documents/DocumentSession.h"
#include "documents/Playlist.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

// The display path without a window, for tools and tests: a playlist, the
// current document and a renderer over the settings store, handing its frames
// to the worker (so generation diverts them as it does in the station). Each
// entry opens as the player opens it: a track's partner lyric, a lyric, a
// plain text or a project. Lines too long for a screen are reported to the
// operator interface, as the station reports them.
class DocumentReplay final : public OfflineReplay, private DocumentViewHooks {
public:
    DocumentReplay(SettingsStore& settings, TLedThread& worker, OperatorInterface& op);

    IoStatus OpenPlaylist(const QString& path);
    const Playlist& playlist() const { return m_playlist; }
    TextRenderer& renderer() { return m_renderer; }

    int EntryCount() const override;
    QString EntryName(int entry) const override;
    void SelectEntry(int entry) override;
    int RowCount() const override;
    void SelectRow(int row) override;
    void RenderTitle(ScreenId screen, const QString& row1) override;

private:
    void DocumentLoaded(DocumentKind) override {}
    void RenderEmptyRows() override;
    void Render(ScreenId screen, const QString& row1, const QString& row2);

    OperatorInterface& m_op;
    QtRasteriser m_rasteriser;
    TextRenderer m_renderer;
    DocumentSession m_document;
    Playlist m_playlist;
};
