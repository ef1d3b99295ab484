#pragma once

#include "core/IoStatus.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>

enum class StationRole { Main, Backup };

// How long a backup may wait in silence before it takes over.
inline constexpr int kMinFailoverSilenceMs = 300;
inline constexpr int kMaxFailoverSilenceMs = 60000;

// A station's part in a pair that fails over: its role at start, where its
// peer serves the show (the main station, for a backup; the backup, for a
// main station that may have to follow it after a restart), the port where
// it serves its own show while it is the main station, and how long a backup
// waits in silence before it takes over. Config.ini, section [Failover].
// Without a peer and a port the station runs alone, as it always did.
struct FailoverSettings {
    StationRole role = StationRole::Main;
    QString peer;       // "ADDR:PORT", IPv4; empty: none
    int mirrorPort = 0; // 0: the show is not served
    int silenceMs = 1000;
    // The key both stations prove they hold; empty: the remotes' PIN.
    QString key;
    bool operator==(const FailoverSettings&) const = default;

    // The pair is in use: a peer or a port to serve on.
    bool paired() const { return !peer.isEmpty() || mirrorPort != 0; }
};

FailoverSettings LoadFailoverSettings(const QString& configPath);
IoStatus SaveFailoverSettings(const QString& configPath, const FailoverSettings& settings);

// What the command line asks for this run only.
struct FailoverOverrides {
    std::optional<StationRole> role;
    std::optional<QString> peer;
    std::optional<int> mirrorPort;
    bool operator==(const FailoverOverrides&) const = default;
    // Any option given (a comparison with a default-made value makes GCC
    // warn of an uninitialised read).
    bool any() const { return role || peer || mirrorPort; }
};

struct FailoverArgumentsParse {
    FailoverOverrides overrides;
    QString error;
    QStringList remaining;
    bool ok() const { return error.isEmpty(); }
};

// "--role main|backup", "--main-address ADDR:PORT", "--mirror-port PORT",
// also as "--option=value".
FailoverArgumentsParse ParseFailoverArguments(const QStringList& arguments);
QString FailoverOptionsHelp();
FailoverSettings WithOverrides(FailoverSettings settings, const FailoverOverrides& overrides);

struct PeerAddress {
    QHostAddress host;
    quint16 port = 0;
};
// "ADDR:PORT" with a dotted IPv4 address and a port of 1 to 65535.
std::optional<PeerAddress> ParsePeerAddress(const QString& text);
// An error text for the first value the station cannot use, empty when all are fine.
QString CheckFailoverSettings(const FailoverSettings& settings);

QString RoleName(StationRole role);
