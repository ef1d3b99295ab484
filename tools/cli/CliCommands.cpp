#include "CliCommand.h"

#include "StationVersion.h"

#include <array>

namespace {

// One line per command; a new command adds its entry here.
const std::array<CliCommand, 9> kCommands{{
    {"render", "render a line into a screen's picture with the settings of Config.ini",
     &RunRenderCommand},
    {"send", "show a line or a text file's lines on the cards of Config.ini", &RunSendCommand},
    {"lines", "pre-show check: how the station reads a script or lyric file", &RunLinesCommand},
    {"search", "list the controller cards that answer on each screen", &RunSearchCommand},
    {"readback", "take the screens' settings from their cards into Config.ini",
     &RunReadbackCommand},
    {"params", "write the parameter files of Config.ini's screens into data/", &RunParamsCommand},
    {"show-params", "print what a parameter file holds", &RunShowParamsCommand},
    {"offline", "generate the offline subtitle files of a playlist", &RunOfflineCommand},
    {"send-offline", "write the advertisement and the offline subtitles into the cards",
     &RunSendOfflineCommand},
}};

void PrintUsage(QTextStream& stream) {
    stream << "Usage: subtitle-station-cli <command> [options]\n\nCommands:\n";
    for (const CliCommand& command : kCommands) {
        stream << "  " << QLatin1String(command.name) << "  " << QLatin1String(command.summary)
               << '\n';
    }
    stream
        << "\n'subtitle-station-cli <command> --help' describes a command. Without --home DIR a\n"
           "command works on the user's station: Config.ini in\n"
           "$XDG_CONFIG_HOME/subtitle-station, data files in $XDG_DATA_HOME/subtitle-station.\n"
           "'subtitle-station-cli --version' prints the version.\n";
}

} // namespace

std::span<const CliCommand> CliCommands() {
    return kCommands;
}

int RunCli(const QStringList& arguments, CliIo& io) {
    if (arguments.size() < 2) {
        PrintUsage(io.err);
        return kExitUsage;
    }
    const QString name = arguments[1];
    if (name == QLatin1String("help") || name == QLatin1String("--help") ||
        name == QLatin1String("-h")) {
        PrintUsage(io.out);
        return kExitOk;
    }
    if (name == QLatin1String("--version")) {
        io.out << "subtitle-station-cli " << kStationVersion << '\n';
        return kExitOk;
    }
    for (const CliCommand& command : kCommands) {
        if (name == QLatin1String(command.name)) {
            return command.run(arguments.mid(2), io);
        }
    }
    io.err << "Unknown command: " << name << "\n\n";
    PrintUsage(io.err);
    return kExitUsage;
}
