#include "CliStation.h"

#include <QFileInfo>

StationPaths CliStationPaths(const QString& home) {
    return home.isEmpty() ? StationPaths::ForUser() : StationPaths(home);
}

LinkConfigParse CliLink(const LinkConfigParse& options, const StationPaths& paths) {
    if (options.given || !options.ok()) {
        return options;
    }
    // A home nobody set up has made no choice between rehearsal and the real
    // network; the station asks at its first start, a command cannot, and the
    // real network must never be the silent default.
    if (!QFileInfo::exists(paths.configFile())) {
        LinkConfigParse refused = options;
        refused.error = QStringLiteral("No link chosen: %1 does not exist. Give the link options "
                                       "(127.0.0.1 for simulated cards), or start the station "
                                       "once to choose rehearsal or the real network.")
                            .arg(paths.configFile());
        return refused;
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
