#include "StationOptions.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

bool StationOptions::linkOnLoopback() const {
    return !link.localAddresses.empty() && link.target.isLoopback() &&
           std::all_of(link.localAddresses.begin(), link.localAddresses.end(),
                       [](const Ipv4Address& a) { return a.isLoopback(); });
}

StationPaths StationOptions::paths() const {
    return home.isEmpty() ? StationPaths::ForUser() : StationPaths(home);
}

QString StationUsage() {
    return QStringLiteral(
               "Usage: subtitle-station [--home DIR] [remote options] [output options]\n"
               "                        [pair options] [link options] [FILE]\n"
               "\n"
               "  FILE         a playlist (.lft) to open, or a project (.lpf), script (.txt),\n"
               "               lyric file (.lrc), MP3 or subtitle file (.srt, .ass) to add\n"
               "               to the playlist and open\n"
               "  --home DIR   keep Config.ini and data/ in DIR instead of\n"
               "               $XDG_CONFIG_HOME/subtitle-station and "
               "$XDG_DATA_HOME/subtitle-station\n"
               "  --version    print the version and exit\n"
               "  --help       print this help and exit\n"
               "\n"
               "Remote options (show control over OSC and the web remote; both are off\n"
               "unless switched on here or in the options):\n") +
           RemoteOptionsHelp() +
           QStringLiteral("\n"
                          "Output options (screens sent to LED walls that take DDP, beside the\n"
                          "cards; without them the section [Outputs] of Config.ini applies):\n") +
           OutputOptionsHelp() +
           QStringLiteral("\n"
                          "Pair options (a main station and a backup that takes over by itself;\n"
                          "the two prove the remotes' PIN to each other):\n") +
           FailoverOptionsHelp() +
           QStringLiteral(
               "\n"
               "Link options (127.0.0.1 for both keeps every datagram on this machine; without\n"
               "them the section [Link] of Config.ini applies):\n") +
           LinkOptionsHelp();
}

StationOptionsParse ParseStationOptions(const QStringList& arguments,
                                        const QProcessEnvironment& environment) {
    StationOptionsParse result;
    // The first argument is the program.
    const LinkConfigParse link = ParseLinkConfig(arguments.mid(1), environment);
    if (!link.ok()) {
        result.error = link.error;
        return result;
    }
    result.options.link = link.config;
    result.options.linkGiven = link.given;
    const RemoteArgumentsParse remote = ParseRemoteArguments(link.remaining);
    if (!remote.ok()) {
        result.error = remote.error;
        return result;
    }
    result.options.remote = remote.overrides;
    const OutputArgumentsParse outputs = ParseOutputArguments(remote.remaining);
    if (!outputs.ok()) {
        result.error = outputs.error;
        return result;
    }
    result.options.outputs = outputs.overrides;
    const FailoverArgumentsParse failover = ParseFailoverArguments(outputs.remaining);
    if (!failover.ok()) {
        result.error = failover.error;
        return result;
    }
    result.options.failover = failover.overrides;

    QCommandLineParser parser;
    const QCommandLineOption home(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({home, help, version});
    QStringList rest{arguments.value(0, QStringLiteral("subtitle-station"))};
    rest += failover.remaining;
    if (!parser.parse(rest)) {
        result.error = parser.errorText();
        return result;
    }
    result.help = parser.isSet(help);
    result.version = parser.isSet(version);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        result.error = QStringLiteral("Unexpected argument: ") + files[1];
        return result;
    }
    if (!files.isEmpty()) {
        // A launcher may hand over a file:// URL; the station takes paths.
        QString file = files.first();
        if (file.startsWith(QLatin1String("file://"))) {
            file = QUrl(file).toLocalFile();
        }
        result.options.openFile = QFileInfo(file).absoluteFilePath();
    }
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
