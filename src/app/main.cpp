// The station: one instance per session, the link settled (on the first start
// the operator chooses rehearsal or the real network), a network adapter unless
// the link stays on this machine, then the main window until it closes.
#include "StationVersion.h"

#include "core/DesktopEntry.h"
#include "core/NetworkAdapters.h"
#include "core/SingleInstance.h"
#include "core/TextFiles.h"
#include "ui/MainForm.h"
#include "ui/StartLink.h"
#include "ui/StationApplication.h"
#include "ui/StationOptions.h"
#include "ui/UnixSignalWatcher.h"
#include "ui/WidgetOperator.h"

#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QProcessEnvironment>
#include <QTextStream>

#include <csignal>
#include <optional>

namespace {

int Refuse(const QString& message, int code) {
    QTextStream(stderr) << message << '\n';
    QMessageBox::critical(nullptr, QStringLiteral("信息"), message);
    return code;
}

// --help and --version are answered before the application object exists, so
// they work on a console without a display.
std::optional<int> AnswerWithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--") {
            break;
        }
        if (arg == "--help" || arg == "-h") {
            QTextStream(stdout) << StationUsage();
            return 0;
        }
        if (arg == "--version") {
            QTextStream(stdout) << "subtitle-station " << kStationVersion << '\n';
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> answered = AnswerWithoutWindow(argc, argv)) {
        return *answered;
    }
    StationApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("subtitle-station"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kStationVersion));
    // The installed menu entry and icon carry this name; the desktop groups
    // the station's windows under them.
    QGuiApplication::setDesktopFileName(kStationAppId);
    QApplication::setWindowIcon(QIcon::fromTheme(kStationAppId));
    QApplication::setQuitOnLastWindowClosed(false);

    const StationOptionsParse parsed = ParseStationOptions(
        QCoreApplication::arguments(), QProcessEnvironment::systemEnvironment());
    if (!parsed.ok()) {
        QTextStream(stderr) << parsed.error << "\n\n" << StationUsage();
        return 2;
    }

    if (const QString missing = MissingCodecMessage(); !missing.isEmpty()) {
        return Refuse(missing, 1);
    }

    // A second copy ends at once and says nothing: the first one is running the show.
    SingleInstanceLock instance;
    if (!instance.TryAcquire()) {
        return 0;
    }

    StationOptions options = parsed.options;
    const StationPaths paths = options.paths();
    if (!paths.MakeDirectories()) {
        return Refuse(QStringLiteral("无法创建文件夹：") + paths.configDir() +
                          QStringLiteral("，") + paths.dataDir(),
                      1);
    }
    WidgetOperator op;
    if (const QString error = ResolveStartLink(options, op); !error.isEmpty()) {
        return Refuse(error, 2);
    }

    if (!options.linkOnLoopback() && PhysicalAdapterAddresses().isEmpty()) {
        QMessageBox::information(nullptr, QStringLiteral("信息"),
                                 QStringLiteral("您的电脑没有网卡或未安装网卡驱动！"));
        return 1;
    }

    TMainForm window(options);
    UnixSignalWatcher signalsToClose({SIGTERM, SIGINT});
    QObject::connect(&signalsToClose, &UnixSignalWatcher::received, &window,
                     [&window](int) { window.CloseUnattended(); });
    QObject::connect(&window, &TMainForm::stationClosed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    return app.exec();
}
