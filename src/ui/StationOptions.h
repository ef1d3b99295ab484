#pragma once

#include "link/LinkConfig.h"
#include "remote/RemoteSettings.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// How the station was started: where Config.ini and data/ live, where its
// datagrams go, and the desktop folder for its shortcut.
struct StationOptions {
    QString home;       // Config.ini, data/ and a copy of the manual
    QString desktopDir; // empty: the user's desktop folder
    LinkConfig link;
    // The remotes for this run (--osc-port, --web-port, --remote-listen,
    // --remote-pin); they override the options in Config.ini.
    RemoteOverrides remote;

    // Every local address and the target are loopback: a rehearsal or a test,
    // where no network adapter is needed.
    bool linkOnLoopback() const;
};

struct StationOptionsParse {
    StationOptions options;
    QString error; // empty when the arguments were valid
    bool help = false;
    bool ok() const { return error.isEmpty(); }
};

// "--home DIR", the remote options and the link options (as the command-line tool takes them, with
// their environment variables). `executableDir` is the home without --home.
StationOptionsParse ParseStationOptions(const QStringList& arguments,
                                        const QProcessEnvironment& environment,
                                        const QString& executableDir);
QString StationUsage();
