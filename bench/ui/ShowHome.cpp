#include "ShowHome.h"

#include "core/Settings.h"
#include "core/TextFiles.h"

#include <QDir>
#include <QFile>

namespace {

void WriteGbkLines(const QString& path, const QStringList& lines) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(JoinLinesGbk(lines));
    }
}

} // namespace

void MakeShowHome(const QString& home, int entries, int linesPerScript,
                  const std::vector<MacAddress>& cards) {
    QDir(home).mkpath(QStringLiteral("show"));
    QStringList playlist;
    for (int e = 0; e < entries; ++e) {
        QStringList lines;
        for (int i = 0; i < linesPerScript; ++i) {
            lines << QStringLiteral("第%1场 第%2句 江畔何人初见月，江月何年初照人").arg(e).arg(i);
        }
        const QString script = QDir(home).filePath(QStringLiteral("show/%1.txt").arg(e));
        WriteGbkLines(script, lines);
        playlist << script;
    }
    const QString list = QDir(home).filePath(QStringLiteral("show.lft"));
    WriteGbkLines(list, playlist);

    SettingsStore store;
    store.StoredSettings.screen(ScreenId::h) = TScreenParams{true, 1, 256, 32, 1, 0, 0, 1, 0};
    store.StoredSettings.screen(ScreenId::s) = TScreenParams{true, 2, 32, 256, 1, 0, 0, 1, 0};
    for (const MacAddress& mac : cards) {
        store.cards(ScreenId::h)
            .push_back(
                {QStringLiteral("mac:") + MacText(mac) + QStringLiteral(" 舞台屏->A卡"), {}});
    }
    store.Play.LastOpenFile = list;
    SaveConfig(store, QDir(home).filePath(QStringLiteral("Config.ini")));
}
