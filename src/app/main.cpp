// The station: one instance per session, a network adapter unless the link
// stays on this machine, then the main window until it closes.
#include "core/NetworkAdapters.h"
#include "core/SingleInstance.h"
#include "core/TextFiles.h"
#include "ui/MainForm.h"
#include "ui/StationApplication.h"
#include "ui/StationOptions.h"
#include "ui/UnixSignalWatcher.h"

#include <QMessageBox>
#include <QProcessEnvironment>
#include <QTextStream>

#include <csignal>

int main(int argc, char** argv) {
    StationApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("subtitle-station"));
    QCoreApplication::setApplicationVersion(QStringLiteral(STATION_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

    const StationOptionsParse parsed =
        ParseStationOptions(QCoreApplication::arguments(), QProcessEnvironment::systemEnvironment(),
                            QCoreApplication::applicationDirPath());
    if (parsed.help) {
        QTextStream(stdout) << StationUsage();
        return 0;
    }
    if (!parsed.ok()) {
        QTextStream(stderr) << parsed.error << "\n\n" << StationUsage();
        return 2;
    }

    if (const QString missing = MissingCodecMessage(); !missing.isEmpty()) {
        QTextStream(stderr) << missing << '\n';
        QMessageBox::critical(nullptr, QStringLiteral("信息"), missing);
        return 1;
    }

    // A second copy ends at once and says nothing: the first one is running the show.
    SingleInstanceLock instance;
    if (!instance.TryAcquire()) {
        return 0;
    }

    if (!parsed.options.linkOnLoopback() && PhysicalAdapterAddresses().isEmpty()) {
        QMessageBox::information(nullptr, QStringLiteral("信息"),
                                 QStringLiteral("您的电脑没有网卡或未安装网卡驱动！"));
        return 1;
    }

    TMainForm window(parsed.options);
    UnixSignalWatcher signalsToClose({SIGTERM, SIGINT});
    QObject::connect(&signalsToClose, &UnixSignalWatcher::received, &window,
                     [&window](int) { window.CloseUnattended(); });
    QObject::connect(&window, &TMainForm::stationClosed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    return app.exec();
}
