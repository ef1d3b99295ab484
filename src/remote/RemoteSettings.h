#pragma once

#include "core/IoStatus.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The remotes' options, in a section of Config.ini of their own ([Remote]);
// the settings store and older files are left as they are. Both remotes are
// off until the operator switches them on.
struct RemoteSettings {
    bool oscEnabled = false;
    int oscPort = 9000;
    bool webEnabled = false;
    int webPort = 8080;
    // IPv4 addresses to listen on; empty: the show network's addresses (those
    // the card link uses). "0.0.0.0" listens everywhere, and only when written
    // here; the status line then says so.
    QStringList listen;
    // The web remote's PIN; empty: a new one at every start.
    QString pin;
    // OSC senders that are heard; empty: any.
    QStringList oscAllowed;
    bool operator==(const RemoteSettings&) const = default;
};

// Missing file, section or key: the defaults. A value that does not parse
// keeps its default.
RemoteSettings LoadRemoteSettings(const QString& configPath);
// Updates the section; every other line of the file stays as it is.
IoStatus SaveRemoteSettings(const QString& configPath, const RemoteSettings& settings);

// What the command line asks for this run only.
struct RemoteOverrides {
    std::optional<int> oscPort; // switches OSC on
    std::optional<int> webPort; // switches the web remote on
    QStringList listen;         // replaces the listen addresses when not empty
    std::optional<QString> pin;
    bool operator==(const RemoteOverrides&) const = default;
    // Any remote option was given for this run.
    bool any() const { return oscPort || webPort || !listen.isEmpty() || pin; }
};

struct RemoteArgumentsParse {
    RemoteOverrides overrides;
    QString error;
    QStringList remaining; // the arguments that are not remote options, in order
    bool ok() const { return error.isEmpty(); }
};

// "--osc-port PORT", "--web-port PORT", "--remote-listen ADDR" (repeatable,
// also comma-separated) and "--remote-pin PIN", also as "--option=value".
// Port 0 takes a free port (tests).
RemoteArgumentsParse ParseRemoteArguments(const QStringList& arguments);
QString RemoteOptionsHelp();
RemoteSettings WithOverrides(RemoteSettings settings, const RemoteOverrides& overrides);

// An error text for the first value the station cannot use, empty when all are fine.
QString CheckRemoteSettings(const RemoteSettings& settings);
bool IsValidPin(const QString& pin);
// Six random digits.
QString GeneratePin();

// The addresses to listen on: the configured ones, or the show network's.
// `everywhere` when 0.0.0.0 is among them.
struct ListenAddresses {
    std::vector<QHostAddress> addresses;
    bool everywhere = false;
    QString error;
};
ListenAddresses ResolveListenAddresses(const QStringList& configured,
                                       const std::vector<QHostAddress>& showNetwork);
// "a, b c" -> ["a", "b", "c"].
QStringList SplitAddressList(const QString& text);
