#include "StationOptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <algorithm>

bool StationOptions::linkOnLoopback() const {
    return !link.localAddresses.empty() && link.target.isLoopback() &&
           std::all_of(link.localAddresses.begin(), link.localAddresses.end(),
                       [](const Ipv4Address& a) { return a.isLoopback(); });
}

QString StationUsage() {
    return QStringLiteral("Usage: subtitle-station [--home DIR] [remote options] [link options]\n"
                          "\n"
                          "  --home DIR   keep Config.ini and data/ in DIR instead of beside the "
                          "executable\n"
                          "\n"
                          "Remote options (show control over OSC and the web remote; both are off\n"
                          "unless switched on here or in the options):\n") +
           RemoteOptionsHelp() +
           QStringLiteral("\n"
                          "Link options (127.0.0.1 for both keeps every datagram on this "
                          "machine):\n") +
           LinkOptionsHelp();
}

StationOptionsParse ParseStationOptions(const QStringList& arguments,
                                        const QProcessEnvironment& environment,
                                        const QString& executableDir) {
    StationOptionsParse result;
    result.options.home = executableDir;
    // The first argument is the program.
    const LinkConfigParse link = ParseLinkConfig(arguments.mid(1), environment);
    if (!link.ok()) {
        result.error = link.error;
        return result;
    }
    result.options.link = link.config;
    const RemoteArgumentsParse remote = ParseRemoteArguments(link.remaining);
    if (!remote.ok()) {
        result.error = remote.error;
        return result;
    }
    result.options.remote = remote.overrides;

    QCommandLineParser parser;
    const QCommandLineOption home(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    parser.addOptions({home, help});
    QStringList rest{arguments.value(0, QStringLiteral("subtitle-station"))};
    rest += remote.remaining;
    if (!parser.parse(rest)) {
        result.error = parser.errorText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error =
            QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first();
        return result;
    }
    result.help = parser.isSet(help);
    if (parser.isSet(home)) {
        const QString dir = parser.value(home);
        if (!QFileInfo(dir).isDir()) {
            result.error = QStringLiteral("--home is not a directory: ") + dir;
            return result;
        }
        result.options.home = QFileInfo(dir).absoluteFilePath();
    }
    return result;
}
