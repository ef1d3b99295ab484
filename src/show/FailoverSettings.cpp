#include "FailoverSettings.h"

#include "core/CommandLine.h"
#include "core/IniFile.h"

#include <QRegularExpression>

#include <array>

namespace {

const QString kSection = QStringLiteral("Failover");
const QString kRole = QStringLiteral("Role");
const QString kPeer = QStringLiteral("Peer");
const QString kMirrorPort = QStringLiteral("MirrorPort");
const QString kSilence = QStringLiteral("SilenceMs");
const QString kKey = QStringLiteral("Key");

std::optional<int> ParseNumber(const QString& text, int low, int high) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<StationRole> ParseRole(const QString& text) {
    const QString role = text.trimmed().toLower();
    if (role == QLatin1String("main")) {
        return StationRole::Main;
    }
    if (role == QLatin1String("backup")) {
        return StationRole::Backup;
    }
    return std::nullopt;
}

} // namespace

QString RoleName(StationRole role) {
    return role == StationRole::Backup ? QStringLiteral("backup") : QStringLiteral("main");
}

std::optional<PeerAddress> ParsePeerAddress(const QString& text) {
    static const QRegularExpression kForm(
        QStringLiteral("^(\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}):(\\d{1,5})$"));
    const QRegularExpressionMatch match = kForm.match(text.trimmed());
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const QHostAddress host(match.captured(1));
    const std::optional<int> port = ParseNumber(match.captured(2), 1, 65535);
    if (host.protocol() != QAbstractSocket::IPv4Protocol || !port) {
        return std::nullopt;
    }
    return PeerAddress{host, quint16(*port)};
}

FailoverSettings LoadFailoverSettings(const QString& configPath) {
    const IniFile ini = IniFile::FromFile(configPath);
    FailoverSettings settings;
    const auto value = [&ini](const QString& key) {
        return ini.value(kSection, key).value_or(QString()).trimmed();
    };
    settings.role = ParseRole(value(kRole)).value_or(StationRole::Main);
    settings.peer = ParsePeerAddress(value(kPeer)) ? value(kPeer) : QString();
    settings.mirrorPort = ParseNumber(value(kMirrorPort), 0, 65535).value_or(0);
    settings.silenceMs = ParseNumber(value(kSilence), kMinFailoverSilenceMs, kMaxFailoverSilenceMs)
                             .value_or(settings.silenceMs);
    settings.key = value(kKey);
    return settings;
}

IoStatus SaveFailoverSettings(const QString& configPath, const FailoverSettings& settings) {
    IniFile ini = IniFile::FromFile(configPath);
    ini.setValue(kSection, kRole, RoleName(settings.role));
    ini.setValue(kSection, kPeer, settings.peer);
    ini.setValue(kSection, kMirrorPort, QString::number(settings.mirrorPort));
    ini.setValue(kSection, kSilence, QString::number(settings.silenceMs));
    ini.setValue(kSection, kKey, settings.key);
    return ini.save(configPath);
}

FailoverArgumentsParse ParseFailoverArguments(const QStringList& arguments) {
    FailoverArgumentsParse result;
    static const QStringList kOptions{QStringLiteral("--role"), QStringLiteral("--main-address"),
                                      QStringLiteral("--mirror-port")};
    const TakenOptions options = TakeOptions(arguments, kOptions);
    result.remaining = options.remaining;
    const auto fail = [&result](const QString& error) {
        if (result.error.isEmpty()) {
            result.error = error;
        }
    };
    for (const auto& [option, value] : options.taken) {
        if (option == kOptions[0]) {
            if (const std::optional<StationRole> role = ParseRole(value)) {
                result.overrides.role = *role;
            } else {
                fail(option + QStringLiteral(": main or backup, not ") + value);
            }
        } else if (option == kOptions[1]) {
            if (ParsePeerAddress(value)) {
                result.overrides.peer = value.trimmed();
            } else {
                fail(option + QStringLiteral(": not an IPv4 ADDR:PORT: ") + value);
            }
        } else if (const std::optional<int> port = ParseNumber(value, 0, 65535)) {
            result.overrides.mirrorPort = *port;
        } else {
            fail(option + QStringLiteral(": not a port: ") + value);
        }
    }
    fail(options.error); // the last argument, so the last to report
    return result;
}

QString FailoverOptionsHelp() {
    return QStringLiteral(
        "  --role main|backup        start as the main station (drives the cards) or as\n"
        "                            the backup that follows it and takes over when it\n"
        "                            falls silent\n"
        "  --main-address ADDR:PORT  where the peer station serves its show: the main\n"
        "                            station, for a backup; the backup, for a main\n"
        "                            station (it stays backup when that one already\n"
        "                            drives the cards)\n"
        "  --mirror-port PORT        serve this station's show to its backup at PORT\n"
        "                            (TCP, on the addresses of the card link)\n");
}

FailoverSettings WithOverrides(FailoverSettings settings, const FailoverOverrides& overrides) {
    if (overrides.role) {
        settings.role = *overrides.role;
    }
    if (overrides.peer) {
        settings.peer = *overrides.peer;
    }
    if (overrides.mirrorPort) {
        settings.mirrorPort = *overrides.mirrorPort;
    }
    return settings;
}

QString CheckFailoverSettings(const FailoverSettings& settings) {
    if (!settings.peer.isEmpty()) {
        const std::optional<PeerAddress> peer = ParsePeerAddress(settings.peer);
        if (!peer) {
            return QStringLiteral("对方地址应为 IPv4 地址:端口：") + settings.peer;
        }
        // Written the right way, yet no one station answers there: the
        // connection would fail, or reach this machine instead of the peer.
        if (peer->host == QHostAddress::AnyIPv4 || peer->host == QHostAddress::Broadcast ||
            peer->host.isMulticast()) {
            return QStringLiteral("对方地址应为另一台字幕机的地址：") + settings.peer;
        }
    }
    if (settings.role == StationRole::Backup && settings.peer.isEmpty()) {
        return QStringLiteral("备机需要主机的地址（对方地址或 --main-address）。");
    }
    if (settings.silenceMs < kMinFailoverSilenceMs || settings.silenceMs > kMaxFailoverSilenceMs) {
        return QStringLiteral("接管等待时间应为 %1 到 %2 毫秒。")
            .arg(kMinFailoverSilenceMs)
            .arg(kMaxFailoverSilenceMs);
    }
    return {};
}
