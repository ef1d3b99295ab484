#include "LinkConfig.h"

#include "core/CommandLine.h"
#include "core/IniFile.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <random>

std::optional<Ipv4Address> Ipv4Address::Parse(const QString& text) {
    const QByteArray latin = text.trimmed().toLatin1();
    in_addr addr{};
    if (latin.isEmpty() || inet_pton(AF_INET, latin.constData(), &addr) != 1) {
        return std::nullopt;
    }
    return Ipv4Address{ntohl(addr.s_addr)};
}

QString Ipv4Address::toString() const {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(value >> 24)
        .arg((value >> 16) & 0xFF)
        .arg((value >> 8) & 0xFF)
        .arg(value & 0xFF);
}

std::vector<HostAddress> HostAddresses() {
    std::vector<HostAddress> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return result;
    }
    for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        const auto* in = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
        HostAddress entry;
        entry.address = Ipv4Address{ntohl(in->sin_addr.s_addr)};
        entry.interfaceIndex = static_cast<int>(if_nametoindex(it->ifa_name));
        entry.broadcast = (it->ifa_flags & IFF_BROADCAST) != 0 &&
                          (it->ifa_flags & (IFF_LOOPBACK | IFF_POINTOPOINT)) == 0;
        entry.up = (it->ifa_flags & IFF_UP) != 0;
        entry.loopback = (it->ifa_flags & IFF_LOOPBACK) != 0;
        result.push_back(entry);
    }
    freeifaddrs(list);
    return result;
}

std::vector<Ipv4Address> HostIpv4Addresses() {
    std::vector<Ipv4Address> result;
    for (const HostAddress& host : HostAddresses()) {
        if (host.up && !host.loopback && !host.address.isLoopback() &&
            std::find(result.begin(), result.end(), host.address) == result.end()) {
            result.push_back(host.address);
        }
    }
    return result;
}

std::uint16_t LinkConfig::StationPort(ScreenId screen) const {
    return static_cast<std::uint16_t>(50000 + ScreenNumber(screen) + portOffset);
}

std::uint16_t LinkConfig::CardPort(ScreenId screen) const {
    return static_cast<std::uint16_t>(60000 + ScreenNumber(screen) + portOffset);
}

std::vector<Ipv4Address> LinkConfig::EffectiveLocalAddresses() const {
    return localAddresses.empty() ? HostIpv4Addresses() : localAddresses;
}

LinkConfig LinkConfig::Loopback(int portOffset) {
    LinkConfig config;
    config.localAddresses = {kLoopback};
    config.target = kLoopback;
    config.portOffset = portOffset;
    return config;
}

namespace {

QString ApplyLocal(LinkConfig& config, const QString& value, const QString& source) {
    std::vector<Ipv4Address> addresses;
    for (const QString& part : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const auto address = Ipv4Address::Parse(part);
        if (!address) {
            return source + QStringLiteral(": not an IPv4 address: ") + part.trimmed();
        }
        if (std::find(addresses.begin(), addresses.end(), *address) == addresses.end()) {
            addresses.push_back(*address);
        }
    }
    if (addresses.empty()) {
        return source + QStringLiteral(": no address given");
    }
    config.localAddresses = std::move(addresses);
    return {};
}

QString ApplyTarget(LinkConfig& config, const QString& value, const QString& source) {
    const auto address = Ipv4Address::Parse(value);
    if (!address) {
        return source + QStringLiteral(": not an IPv4 address: ") + value.trimmed();
    }
    config.target = *address;
    return {};
}

QString ApplyOffset(LinkConfig& config, const QString& value, const QString& source) {
    bool ok = false;
    const int offset = value.trimmed().toInt(&ok);
    if (!ok || offset < kMinPortOffset || offset > kMaxPortOffset) {
        return source +
               QStringLiteral(": port offset must be a whole number from %1 to %2: ")
                   .arg(kMinPortOffset)
                   .arg(kMaxPortOffset) +
               value.trimmed();
    }
    config.portOffset = offset;
    return {};
}

using Applier = QString (*)(LinkConfig&, const QString&, const QString&);

struct OptionDef {
    QLatin1String option;
    QLatin1String variable;
    QLatin1String iniKey;
    Applier apply;
};

const OptionDef kOptions[] = {
    {QLatin1String("--link-local"), QLatin1String("STATION_LINK_LOCAL"), QLatin1String("Local"),
     &ApplyLocal},
    {QLatin1String("--link-target"), QLatin1String("STATION_LINK_TARGET"), QLatin1String("Target"),
     &ApplyTarget},
    {QLatin1String("--link-port-offset"), QLatin1String("STATION_LINK_PORT_OFFSET"),
     QLatin1String("PortOffset"), &ApplyOffset},
};

const QString kLinkSection = QStringLiteral("Link");

} // namespace

LinkConfigParse ParseLinkConfig(const QStringList& arguments, const QProcessEnvironment& env) {
    LinkConfigParse result;
    // The environment first, so the command line overrides it.
    for (const OptionDef& def : kOptions) {
        if (env.contains(def.variable)) {
            result.given = true;
            const QString error = def.apply(result.config, env.value(def.variable), def.variable);
            if (!error.isEmpty() && result.error.isEmpty()) {
                result.error = error;
            }
        }
    }
    QStringList names;
    for (const OptionDef& def : kOptions) {
        names << QString(def.option);
    }
    const TakenOptions options = TakeOptions(arguments, names);
    result.remaining = options.remaining;
    result.given = result.given || !options.taken.empty() || !options.error.isEmpty();
    for (const TakenOption& taken : options.taken) {
        const OptionDef& def =
            *std::find_if(std::begin(kOptions), std::end(kOptions),
                          [&](const OptionDef& d) { return d.option == taken.name; });
        const QString error = def.apply(result.config, taken.value, taken.name);
        if (!error.isEmpty() && result.error.isEmpty()) {
            result.error = error;
        }
    }
    if (result.error.isEmpty()) {
        result.error = options.error; // the last argument, so the last to report
    }
    return result;
}

LinkConfigParse ReadStoredLink(const QString& configPath) {
    const IniFile ini = IniFile::FromFile(configPath);
    LinkConfigParse result;
    for (const OptionDef& def : kOptions) {
        const QString value = ini.value(kLinkSection, def.iniKey).value_or(QString()).trimmed();
        // An empty value is the default, so the keys can stand in the file
        // for the operator to find.
        if (value.isEmpty()) {
            continue;
        }
        result.given = true;
        const QString source = QStringLiteral("Config.ini [Link] ") + def.iniKey;
        const QString error = def.apply(result.config, value, source);
        if (!error.isEmpty() && result.error.isEmpty()) {
            result.error = error;
        }
    }
    return result;
}

IoStatus StoreLink(const QString& configPath, const LinkConfig& config) {
    IniFile ini = IniFile::FromFile(configPath);
    QStringList local;
    for (const Ipv4Address& address : config.localAddresses) {
        local << address.toString();
    }
    const LinkConfig defaults;
    ini.setValue(kLinkSection, kOptions[0].iniKey, local.join(QLatin1Char(',')));
    ini.setValue(kLinkSection, kOptions[1].iniKey,
                 config.target == defaults.target ? QString() : config.target.toString());
    ini.setValue(kLinkSection, kOptions[2].iniKey,
                 config.portOffset == defaults.portOffset ? QString()
                                                          : QString::number(config.portOffset));
    return ini.save(configPath);
}

QString LinkOptionsHelp() {
    return QStringLiteral(
        "  --link-local ADDR[,ADDR]  local IPv4 addresses to bind (default: every host\n"
        "                            address; env STATION_LINK_LOCAL)\n"
        "  --link-target ADDR        where commands go (default 255.255.255.255;\n"
        "                            env STATION_LINK_TARGET)\n"
        "  --link-port-offset N      added to the station ports 50001-50003 and the card\n"
        "                            ports 60001-60003 (default 0; env\n"
        "                            STATION_LINK_PORT_OFFSET)\n");
}

namespace {

bool PortFree(Ipv4Address address, int port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    sa.sin_addr.s_addr = htonl(address.value);
    const bool ok = ::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
    ::close(fd);
    return ok;
}

} // namespace

std::optional<int> ProbeFreePortOffset(Ipv4Address address, int tries) {
    // Station ports 6001..22003 and card ports 16001..32003: below the usual
    // ephemeral range, so no outgoing socket of another program takes them.
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<int> pick(-44000, -28000);
    for (int attempt = 0; attempt < tries; ++attempt) {
        const int offset = pick(random);
        bool free = true;
        for (ScreenId screen : kAllScreens) {
            free = free && PortFree(address, 50000 + ScreenNumber(screen) + offset) &&
                   PortFree(address, 60000 + ScreenNumber(screen) + offset);
        }
        if (free) {
            return offset;
        }
    }
    return std::nullopt;
}
