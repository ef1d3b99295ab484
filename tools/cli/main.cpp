// subtitle-station-cli: the station's operations without its windows.
#include "CliCommand.h"

#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    // Rendering needs fonts but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("subtitle-station-cli"));

    QTextStream out(stdout);
    QTextStream err(stderr);
    CliIo io{out, err};
    const int code = RunCli(QGuiApplication::arguments(), io);
    out.flush();
    err.flush();
    return code;
}
