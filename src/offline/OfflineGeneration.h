#pragma once

#include "OfflineSubtitleWriter.h"

#include "core/IoStatus.h"
#include "core/Paths.h"
#include "core/Settings.h"
#include "link/LedThread.h"

#include <QString>

#include <functional>

// The display path that generation replays: the playlist, its entries opened
// as the current document, the line list's selection rendering rows on every
// screen. The station implements it over its player; tools over a document
// of their own. User-interface thread only.
class OfflineReplay {
public:
    virtual ~OfflineReplay() = default;
    virtual int EntryCount() const = 0;
    // The entry's name as the playlist shows it.
    virtual QString EntryName(int entry) const = 0;
    // Opens the entry as the current document (rendering what opening renders).
    virtual void SelectEntry(int entry) = 0;
    virtual int RowCount() const = 0;
    // Selects row `row` of the line list: its text and the next row's render
    // on every screen, each time it is called.
    virtual void SelectRow(int row) = 0;
    // Renders `row1` with an empty second row on the screen.
    virtual void RenderTitle(ScreenId screen, const QString& row1) = 0;
    // Lets pending window events run.
    virtual void ProcessEvents() {}
};

// The screens of the active settings as the offline writer needs them.
std::array<OfflineScreen, 3> OfflineScreens(const TSettings& active);

// Builds the offline subtitle files of the screens in use from the whole
// playlist: for each entry a title record, then one record per row (and the
// blank record a project file's opening renders). The frames go to the files
// instead of the cards while it runs. Progress goes to `log` line by line; the
// result names a file that could not be created or written (the old files
// then stay as they were). A playlist longer than the file's script table
// (1024 entries) is refused before anything is written.
IoStatus GenerateOfflineSubtitles(TLedThread& worker, OfflineReplay& replay,
                                  const TSettings& active, const StationPaths& paths,
                                  const std::function<void(const QString&)>& log);
