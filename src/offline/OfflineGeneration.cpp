#include "OfflineGeneration.h"

#include "link/FrameEncoding.h"

namespace {

// The frames go to the writer for as long as it lives, however the run ends.
class DiverterScope {
public:
    DiverterScope(TLedThread& worker, FrameDiverter* diverter) : m_worker(worker) {
        m_worker.SetFrameDiverter(diverter);
    }
    ~DiverterScope() { m_worker.SetFrameDiverter(nullptr); }
    DiverterScope(const DiverterScope&) = delete;
    DiverterScope& operator=(const DiverterScope&) = delete;

private:
    TLedThread& m_worker;
};

} // namespace

std::array<OfflineScreen, 3> OfflineScreens(const TSettings& active) {
    std::array<OfflineScreen, 3> screens{};
    for (ScreenId screen : kAllScreens) {
        const TScreenParams& p = active.screen(screen);
        OfflineScreen& s = screens[size_t(ScreenIndex(screen))];
        s.inUse = p.ScreenKind;
        s.kind = ColourKindOf(ColourKindText(p.ScreenStyle));
        s.cardWidth = CardWidthOf(screen, p);
    }
    return screens;
}

IoStatus GenerateOfflineSubtitles(TLedThread& worker, OfflineReplay& replay,
                                  const TSettings& active, const StationPaths& paths,
                                  const std::function<void(const QString&)>& log) {
    log(QStringLiteral("循环播放列表生成脱机数据文件"));
    const int entries = replay.EntryCount();
    if (entries > kScriptTableEntries) {
        // The cards' table has room for 1024 scripts; a longer list would lose
        // its tail without a word.
        return IoStatus::Fail(
            QStringLiteral("播放列表超过%1个文件，无法生成脱机数据。").arg(kScriptTableEntries));
    }
    const std::array<OfflineScreen, 3> screens = OfflineScreens(active);
    OfflineSubtitleWriter writer(screens);
    writer.FollowSettings(&active);
    const IoStatus opened = writer.Open(paths);
    if (!opened) {
        return opened;
    }
    {
        DiverterScope diverting(worker, &writer);
        for (int entry = 0; entry < entries; ++entry) {
            writer.BeginScript(entry);
            log(QStringLiteral("写入剧本%1文件名").arg(entry));
            const QString title = QStringLiteral("剧本%1:").arg(entry) + replay.EntryName(entry);
            for (ScreenId screen : kAllScreens) {
                if (screens[size_t(ScreenIndex(screen))].inUse) {
                    replay.RenderTitle(screen, title);
                }
            }
            replay.SelectEntry(entry);
            for (int row = 0; row < replay.RowCount(); ++row) {
                replay.ProcessEvents();
                log(QStringLiteral("剧本%1行%2").arg(entry).arg(row));
                replay.SelectRow(row);
            }
            replay.ProcessEvents();
        }
    }
    log(QStringLiteral("写入所有剧本的开始地址"));
    const IoStatus committed = writer.Commit();
    log(QStringLiteral("全部数据处理完成"));
    return committed;
}
