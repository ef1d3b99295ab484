#include "SaveVersions.h"

#include "core/Settings.h"
#include "core/TextFiles.h"
#include "documents/DocumentSession.h"
#include "documents/Playlist.h"
#include "show/ShowJournal.h"
#include "show/ShowSession.h"

#include <QDir>
#include <QFileInfo>

#include <chrono>

SaveLoopFiles SaveLoopPaths(const QString& home) {
    const QDir dir(home);
    return {dir.filePath(QStringLiteral("Config.ini")), dir.filePath(QStringLiteral("show.lft")),
            dir.filePath(QStringLiteral("script.txt")),
            ShowSession::JournalPath(dir.filePath(QStringLiteral("data")))};
}

bool WriteSaveLoopVersion(const QString& home, int version) {
    const SaveLoopFiles files = SaveLoopPaths(home);
    const QString mark = QString::number(version);

    SettingsStore store;
    store.Play.AutoPlayTimeFile = 10 + version;
    // Nothing of the home's own path goes in: the test compares with files
    // written in another directory.
    store.Play.LastOpenFile = QStringLiteral("/演出/今晚.lft");
    for (ScreenId screen : kAllScreens) {
        for (int i = 0; i < 60 + 20 * version; ++i) {
            CardEntry entry;
            entry.id = QStringLiteral("mac:02-00-00-00-%1-%2 舞台屏->A卡%3")
                           .arg(ScreenIndex(screen))
                           .arg(i, 2, 16, QLatin1Char('0'))
                           .arg(version == 0 ? QString() : QStringLiteral("（备用）"));
            entry.record.fill(std::uint8_t(version + 1));
            store.cards(screen).push_back(entry);
        }
    }
    if (!SaveConfig(store, files.config)) {
        return false;
    }

    QStringList entries;
    for (int i = 0; i < 1500 + 500 * version; ++i) {
        entries << QStringLiteral("/演出/第%1场/歌曲%2.lrc").arg(mark).arg(i);
    }
    Playlist playlist;
    playlist.ReplaceEntries(QString(), entries);
    if (!playlist.WriteTo(files.playlist)) {
        return false;
    }

    QStringList lines;
    for (int i = 0; i < 4000 + 1000 * version; ++i) {
        lines << QStringLiteral("第%1版 第%2句 今晚演出即将开始").arg(mark).arg(i);
    }
    if (!QFileInfo::exists(files.script) && !WriteLineFile(files.script, {})) {
        return false;
    }
    DocumentSession document(store);
    if (!document.Load(files.script)) {
        return false;
    }
    document.SetLines(lines);
    if (!document.Save()) {
        return false;
    }

    ShowState state;
    state.playlistPath = QStringLiteral("/演出/今晚.lft");
    state.entries = entries.mid(0, 300 + 100 * version);
    state.entry = version;
    state.line = 7 + version;
    state.lineText = lines[7 + version];
    ShowJournal journal(files.journal, files.journal + QStringLiteral(".copy"));
    journal.Record(state);
    return journal.WaitWritten(std::chrono::seconds(30));
}
