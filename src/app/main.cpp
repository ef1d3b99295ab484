// Entry point of the station. Until the main window exists it starts what
// exists: it reads Config.ini, applies the stored settings and reports them.
#include "core/Paths.h"
#include "core/Settings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("subtitle-station"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("舞台字幕控制系统"));
    parser.addHelpOption();
    const QCommandLineOption homeOption(QStringLiteral("home"),
                                        QStringLiteral("Directory of Config.ini and data/."),
                                        QStringLiteral("DIR"));
    parser.addOption(homeOption);
    parser.process(app);

    const StationPaths paths = parser.isSet(homeOption) ? StationPaths(parser.value(homeOption))
                                                        : StationPaths::FromExecutable();
    SettingsStore store;
    LoadAndApplyConfig(store, paths.configFile());

    QTextStream out(stdout);
    out << "舞台字幕控制系统: the main window is not built yet; the settings store is.\n";
    out << "Config: " << paths.configFile() << '\n';
    for (ScreenId id : kAllScreens) {
        const TScreenParams& p = store.ActiveSettings.screen(id);
        const TTextEffect& e = store.ActiveSettings.effect(id);
        out << "screen " << ScreenLetter(id) << ": " << (p.ScreenKind ? "in use" : "not in use")
            << ", " << p.ScreenWidth << " x " << p.ScreenHeight << ", font " << e.Font << ", cards "
            << store.cards(id).size() << '\n';
    }
    return 0;
}
