#include "CliStation.h"

StationPaths CliStationPaths(const QString& home) {
    return home.isEmpty() ? StationPaths::ForUser() : StationPaths(home);
}

LinkConfigParse CliLink(const LinkConfigParse& options, const StationPaths& paths) {
    if (options.given || !options.ok()) {
        return options;
    }
    LinkConfigParse stored = ReadStoredLink(paths.configFile());
    if (!stored.ok() || !stored.given) {
        LinkConfigParse result = options;
        result.error = stored.error;
        return result;
    }
    stored.remaining = options.remaining;
    return stored;
}
