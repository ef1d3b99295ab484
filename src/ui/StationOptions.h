#pragma once

#include "core/Paths.h"
#include "link/LinkConfig.h"
#include "outputs/OutputSettings.h"
#include "remote/RemoteSettings.h"
#include "show/FailoverSettings.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// How the station was started: where Config.ini and data/ live, where its
// datagrams go, the desktop folder for its shortcut and the file to open.
struct StationOptions {
    // Config.ini, data/ and a copy of the manual; empty: the user's XDG
    // places (see StationPaths::ForUser).
    QString home;
    QString desktopDir; // empty: the user's desktop folder
    LinkConfig link;
    // A link option or its environment variable set the link; otherwise the
    // one stored in Config.ini applies (ResolveStartLink).
    bool linkGiven = false;
    // A playlist, project or script to open once the station runs (a double
    // click in a file manager); empty for none. An absolute path.
    QString openFile;
    // The remotes for this run (--osc-port, --web-port, --remote-listen,
    // --remote-pin); they override the options in Config.ini.
    RemoteOverrides remote;
    // DDP receivers for this run (--ddp); they replace those stored for
    // their screens.
    OutputOverrides outputs;
    // The station's part in a main/backup pair for this run (--role,
    // --main-address, --mirror-port); they override [Failover] in Config.ini.
    FailoverOverrides failover;

    // Every local address and the target are loopback: a rehearsal or a test,
    // where no network adapter is needed.
    bool linkOnLoopback() const;
    StationPaths paths() const;
};

struct StationOptionsParse {
    StationOptions options;
    QString error; // empty when the arguments were valid
    bool help = false;
    bool version = false;
    bool ok() const { return error.isEmpty(); }
};

// "--home DIR", the remote options, the output options, the pair's options, the link options
// (as the command-line
// tool takes them, with their environment variables), "--help", "--version"
// and at most one file.
StationOptionsParse ParseStationOptions(const QStringList& arguments,
                                        const QProcessEnvironment& environment);
QString StationUsage();
