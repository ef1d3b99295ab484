#pragma once

#include "OfflineRecords.h"

#include "core/AtomicFile.h"
#include "core/IoStatus.h"
#include "core/Paths.h"
#include "link/LedThread.h"

#include <array>
#include <memory>
#include <vector>

// What the writer needs to know of a screen.
struct OfflineScreen {
    bool inUse = false;
    ColourKind kind = ColourKind::Single;
    int cardWidth = 256; // the screen's width as its cards see it (the vertical screen's height)
};

// The screen's width as its cards see it: the vertical screen's frame is
// turned, so its cards are as wide as the screen is tall.
inline int CardWidthOf(ScreenId screen, const TScreenParams& params) {
    return screen == ScreenId::s ? params.ScreenHeight : params.ScreenWidth;
}

// Receives the frames the renderer produces while offline data is generated
// and appends each as a record to its screen's offline subtitle file; notes
// where each script starts and writes the script table at the end.
//
// Each file is written under a temporary name and replaces the old one only
// when it is whole, so a failed or abandoned generation leaves the previous
// file as it was. User-interface thread only (the worker calls DivertFrame
// inside RequestFrame, on the caller's thread).
class OfflineSubtitleWriter final : public FrameDiverter {
public:
    explicit OfflineSubtitleWriter(std::array<OfflineScreen, 3> screens);
    ~OfflineSubtitleWriter() override;

    // Creates the data directory and the files of the screens in use. A file
    // that cannot be created fails the whole run (nothing is replaced).
    IoStatus Open(const StationPaths& paths);
    // The records that follow belong to script `index` (0..1023).
    void BeginScript(int index);
    // Each record's extent takes the card width from these settings as they
    // are when the frame arrives: a project file brings screens of its own
    // size, and an extent left at the size the run began with would make a
    // card read its pictures at the wrong width. `active` must outlive the
    // writer's use; nullptr keeps the widths given at construction.
    void FollowSettings(const TSettings* active) { m_active = active; }
    void DivertFrame(ScreenId screen, const QImage& frame, const FrameEffect& effect) override;
    // Writes the script tables and puts the files in place. A file whose
    // writing failed is named and left as it was; the others are replaced.
    IoStatus Commit();
    // Drops the new files; the old ones stay.
    void Abandon();

    long long records(ScreenId screen) const;
    std::uint32_t nextOffset(ScreenId screen) const;

private:
    struct State {
        OfflineScreen setup;
        std::unique_ptr<AtomicFile> file;
        std::uint32_t previous = kScriptTableBytes;
        std::uint32_t next = kScriptTableBytes;
        std::vector<std::uint32_t> scriptStarts;
        long long records = 0;
    };
    State& state(ScreenId screen) { return m_states[size_t(ScreenIndex(screen))]; }
    const State& state(ScreenId screen) const { return m_states[size_t(ScreenIndex(screen))]; }

    std::array<State, 3> m_states;
    const TSettings* m_active = nullptr;
};
