#include "RemoteSettings.h"

#include "core/CommandLine.h"
#include "core/IniFile.h"
#include "core/SettingsKeys.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <array>

namespace {

const QString kSection = QStringLiteral("Remote");
const QString kOscEnabled = QStringLiteral("OscEnabled");
const QString kOscPort = QStringLiteral("OscPort");
const QString kWebEnabled = QStringLiteral("WebEnabled");
const QString kWebPort = QStringLiteral("WebPort");
const QString kListen = QStringLiteral("Listen");
const QString kPin = QStringLiteral("Pin");
const QString kOscAllowed = QStringLiteral("OscAllowed");

std::optional<int> ParsePort(const QString& text) {
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    if (!ok || port < 0 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

std::optional<QHostAddress> ParseIpv4(const QString& text) {
    static const QRegularExpression kDotted(
        QStringLiteral("^\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}$"));
    if (!kDotted.match(text).hasMatch()) {
        return std::nullopt;
    }
    const QHostAddress address(text);
    if (address.protocol() != QAbstractSocket::IPv4Protocol) {
        return std::nullopt;
    }
    return address;
}

} // namespace

QStringList SplitAddressList(const QString& text) {
    static const QRegularExpression kSeparators(QStringLiteral("[,;\\s]+"));
    return text.split(kSeparators, Qt::SkipEmptyParts);
}

RemoteSettings LoadRemoteSettings(const QString& configPath) {
    const IniFile ini = IniFile::FromFile(configPath);
    RemoteSettings settings;
    settings.oscEnabled = ReadIniFlag(ini, kSection, kOscEnabled);
    settings.webEnabled = ReadIniFlag(ini, kSection, kWebEnabled);
    if (const auto port = ParsePort(ini.value(kSection, kOscPort).value_or(QString()))) {
        settings.oscPort = *port;
    }
    if (const auto port = ParsePort(ini.value(kSection, kWebPort).value_or(QString()))) {
        settings.webPort = *port;
    }
    settings.listen = SplitAddressList(ini.value(kSection, kListen).value_or(QString()));
    const QString pin = ini.value(kSection, kPin).value_or(QString()).trimmed();
    settings.pin = IsValidPin(pin) ? pin : QString();
    settings.oscAllowed = SplitAddressList(ini.value(kSection, kOscAllowed).value_or(QString()));
    return settings;
}

IoStatus SaveRemoteSettings(const QString& configPath, const RemoteSettings& settings) {
    IniFile ini = IniFile::FromFile(configPath);
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    ini.setValue(kSection, kOscEnabled, flag(settings.oscEnabled));
    ini.setValue(kSection, kOscPort, QString::number(settings.oscPort));
    ini.setValue(kSection, kWebEnabled, flag(settings.webEnabled));
    ini.setValue(kSection, kWebPort, QString::number(settings.webPort));
    ini.setValue(kSection, kListen, settings.listen.join(QLatin1Char(',')));
    ini.setValue(kSection, kPin, settings.pin);
    ini.setValue(kSection, kOscAllowed, settings.oscAllowed.join(QLatin1Char(',')));
    return ini.save(configPath);
}

RemoteArgumentsParse ParseRemoteArguments(const QStringList& arguments) {
    RemoteArgumentsParse result;
    static const QStringList kOptions{QStringLiteral("--osc-port"), QStringLiteral("--web-port"),
                                      QStringLiteral("--remote-listen"),
                                      QStringLiteral("--remote-pin")};
    const TakenOptions options = TakeOptions(arguments, kOptions);
    result.remaining = options.remaining;
    const auto fail = [&result](const QString& error) {
        if (result.error.isEmpty()) {
            result.error = error;
        }
    };
    for (const auto& [option, value] : options.taken) {
        if (option == kOptions[0] || option == kOptions[1]) {
            const std::optional<int> port = ParsePort(value);
            if (!port) {
                fail(option + QStringLiteral(": not a port: ") + value);
                continue;
            }
            (option == kOptions[0] ? result.overrides.oscPort : result.overrides.webPort) = *port;
        } else if (option == kOptions[2]) {
            for (const QString& address : SplitAddressList(value)) {
                if (!ParseIpv4(address)) {
                    fail(option + QStringLiteral(": not an IPv4 address: ") + address);
                }
                result.overrides.listen << address;
            }
            if (SplitAddressList(value).isEmpty()) {
                fail(option + QStringLiteral(": value missing"));
            }
        } else {
            if (!IsValidPin(value)) {
                fail(option + QStringLiteral(": the PIN must be 4 to 12 digits"));
                continue;
            }
            result.overrides.pin = value;
        }
    }
    fail(options.error); // the last argument, so the last to report
    return result;
}

QString RemoteOptionsHelp() {
    return QStringLiteral(
        "  --osc-port PORT           switch the OSC remote on at PORT (UDP) for this run\n"
        "  --web-port PORT           switch the web remote on at PORT (HTTP) for this run\n"
        "  --remote-listen ADDR      IPv4 address the remotes listen on (repeatable;\n"
        "                            default: the addresses of the card link)\n"
        "  --remote-pin PIN          the web remote's PIN, 4 to 12 digits (default: the\n"
        "                            one in the options, or a new one at every start)\n");
}

RemoteSettings WithOverrides(RemoteSettings settings, const RemoteOverrides& overrides) {
    if (overrides.oscPort) {
        settings.oscEnabled = true;
        settings.oscPort = *overrides.oscPort;
    }
    if (overrides.webPort) {
        settings.webEnabled = true;
        settings.webPort = *overrides.webPort;
    }
    if (!overrides.listen.isEmpty()) {
        settings.listen = overrides.listen;
    }
    if (overrides.pin) {
        settings.pin = *overrides.pin;
    }
    return settings;
}

bool IsValidPin(const QString& pin) {
    static const QRegularExpression kDigits(QStringLiteral("^[0-9]{4,12}$"));
    return kDigits.match(pin).hasMatch();
}

QString GeneratePin() {
    return QStringLiteral("%1").arg(QRandomGenerator::system()->bounded(1000000), 6, 10,
                                    QLatin1Char('0'));
}

QString CheckRemoteSettings(const RemoteSettings& settings) {
    for (int port : {settings.oscPort, settings.webPort}) {
        if (port < 0 || port > 65535) {
            return QStringLiteral("端口应为1到65535：") + QString::number(port);
        }
    }
    if (settings.oscEnabled && settings.webEnabled && settings.oscPort != 0 &&
        settings.oscPort == settings.webPort) {
        // Not a clash on the wire (UDP and TCP), but an operator who types the
        // same number twice has most likely mistyped one of them.
        return QStringLiteral("OSC 端口与网页端口相同：") + QString::number(settings.oscPort);
    }
    for (const QString& address : settings.listen + settings.oscAllowed) {
        if (!ParseIpv4(address)) {
            return QStringLiteral("不是有效的 IPv4 地址：") + address;
        }
    }
    if (!settings.pin.isEmpty() && !IsValidPin(settings.pin)) {
        return QStringLiteral("PIN 应为4到12位数字。");
    }
    return {};
}

ListenAddresses ResolveListenAddresses(const QStringList& configured,
                                       const std::vector<QHostAddress>& showNetwork) {
    ListenAddresses result;
    if (configured.isEmpty()) {
        result.addresses = showNetwork;
    } else {
        for (const QString& text : configured) {
            const std::optional<QHostAddress> address = ParseIpv4(text);
            if (!address) {
                result.error = QStringLiteral("不是有效的 IPv4 地址：") + text;
                return result;
            }
            if (*address == QHostAddress(QHostAddress::AnyIPv4)) {
                // Everywhere covers every other address; binding both would fail.
                result.addresses = {*address};
                result.everywhere = true;
                return result;
            }
            if (std::find(result.addresses.begin(), result.addresses.end(), *address) ==
                result.addresses.end()) {
                result.addresses.push_back(*address);
            }
        }
    }
    if (result.addresses.empty()) {
        result.error = QStringLiteral("没有可以监听的地址（演出网络没有 IPv4 地址）。");
    }
    return result;
}
