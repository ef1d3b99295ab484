#pragma once

#include "core/IoStatus.h"
#include "core/ScreenId.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

// Where the link's datagrams go. A real station binds every IPv4 address of the
// host and broadcasts to 255.255.255.255 on the card ports; tests, demos and the
// card simulator move all of it onto 127.0.0.1 and a port offset.

// An IPv4 address in host byte order.
struct Ipv4Address {
    std::uint32_t value = 0;

    static std::optional<Ipv4Address> Parse(const QString& text);
    QString toString() const;
    bool isLoopback() const { return (value >> 24) == 127; }
    bool operator==(const Ipv4Address&) const = default;
};

inline constexpr Ipv4Address kLoopback{0x7F000001};
inline constexpr Ipv4Address kBroadcast{0xFFFFFFFF};

// The host's IPv4 addresses on interfaces that are up, loopback excluded (the
// cards are never on loopback). Empty when the host has none.
std::vector<Ipv4Address> HostIpv4Addresses();

// One IPv4 address of the host and the interface that carries it.
struct HostAddress {
    Ipv4Address address;
    int interfaceIndex = 0;
    // The interface carries broadcasts (an Ethernet-like link, not loopback or
    // point-to-point), so a card may answer over it by broadcast.
    bool broadcast = false;
    bool up = false;       // the interface is up
    bool loopback = false; // the loopback interface
};
// Every IPv4 address of the host, loopback included, whether its interface is
// up or not (an interface that is down may come back).
std::vector<HostAddress> HostAddresses();

struct LinkConfig {
    // Empty: every host IPv4 address at the moment the listener is activated.
    std::vector<Ipv4Address> localAddresses;
    Ipv4Address target = kBroadcast;
    int portOffset = 0;

    // Station (listener) port 50001..50003 and card port 60001..60003 of a
    // screen, moved by the port offset.
    std::uint16_t StationPort(ScreenId screen) const;
    std::uint16_t CardPort(ScreenId screen) const;
    // The addresses the listener binds: the configured ones or the host's.
    std::vector<Ipv4Address> EffectiveLocalAddresses() const;
    // Loopback only for local and target: the safe setting of tests and demos.
    static LinkConfig Loopback(int portOffset);
};

// Offsets that keep every station and card port within 1..65535.
inline constexpr int kMinPortOffset = -50000;
inline constexpr int kMaxPortOffset = 65535 - 60003;

struct LinkConfigParse {
    LinkConfig config;
    QString error;         // empty when every value was valid
    QStringList remaining; // the arguments that are not link options, in order
    bool given = false;    // at least one option or variable was there
    bool ok() const { return error.isEmpty(); }
};

// Reads "--link-local ADDR[,ADDR]", "--link-target ADDR" and
// "--link-port-offset N" (also as "--option=value") from the arguments, and
// STATION_LINK_LOCAL, STATION_LINK_TARGET, STATION_LINK_PORT_OFFSET from the
// environment; an option given on the command line wins over the environment.
// A bad value gives an error naming the option and the value.
LinkConfigParse ParseLinkConfig(const QStringList& arguments, const QProcessEnvironment& env);
// The link a station keeps in Config.ini, section [Link]: keys Local, Target
// and PortOffset with the values the options take; a key that is missing or
// empty keeps its default. `given` tells whether any key has a value.
LinkConfigParse ReadStoredLink(const QString& configPath);
// Writes the three keys into Config.ini (other sections and keys stay);
// default values are written empty.
IoStatus StoreLink(const QString& configPath, const LinkConfig& config);
// The usage lines of the three options, for --help texts.
QString LinkOptionsHelp();

// A port offset whose six ports (station and card ports of the three screens) are
// all free on `address` right now, picked at random in a range below the
// ephemeral ports; lets tests run in parallel. Returns nullopt after `tries`
// failed picks.
std::optional<int> ProbeFreePortOffset(Ipv4Address address = kLoopback, int tries = 64);
