#include "OutputSettings.h"

#include "core/CommandLine.h"
#include "core/IniFile.h"
#include "core/SettingsKeys.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

const QString kSection = QStringLiteral("Outputs");

QString Key(const char* name, ScreenId screen) {
    return QString::fromLatin1(name) + QChar::fromLatin1(ScreenLetter(screen)).toUpper();
}

std::optional<ScreenId> ScreenOfLetter(const QString& text) {
    for (ScreenId screen : kAllScreens) {
        if (text == QChar::fromLatin1(ScreenLetter(screen))) {
            return screen;
        }
    }
    return std::nullopt;
}

} // namespace

QString DdpReceiver::toString() const {
    const QString dotted = QStringLiteral("%1.%2.%3.%4")
                               .arg((address >> 24) & 0xFF)
                               .arg((address >> 16) & 0xFF)
                               .arg((address >> 8) & 0xFF)
                               .arg(address & 0xFF);
    return port == ddp::kDefaultPort ? dotted : dotted + QLatin1Char(':') + QString::number(port);
}

std::optional<DdpReceiver> ParseDdpReceiver(const QString& text) {
    static const QRegularExpression kPattern(
        QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})(?::(\\d{1,5}))?$"));
    const QRegularExpressionMatch match = kPattern.match(text.trimmed());
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    DdpReceiver receiver;
    for (int i = 1; i <= 4; ++i) {
        const int part = match.captured(i).toInt();
        if (part > 255) {
            return std::nullopt;
        }
        receiver.address = (receiver.address << 8) | static_cast<std::uint32_t>(part);
    }
    if (match.hasCaptured(5)) {
        const int port = match.captured(5).toInt();
        if (port < 1 || port > 65535) {
            return std::nullopt;
        }
        receiver.port = port;
    }
    return receiver;
}

bool OutputSettings::HasDdp() const {
    return std::any_of(screens.begin(), screens.end(),
                       [](const ScreenOutputs& s) { return !s.ddp.empty(); });
}

bool OutputSettings::HasMonitor() const {
    return std::any_of(screens.begin(), screens.end(),
                       [](const ScreenOutputs& s) { return !s.monitor.isEmpty(); });
}

std::vector<DdpReceiver> ParseDdpReceiverList(const QString& text, QStringList* bad) {
    static const QRegularExpression kSeparators(QStringLiteral("[,;\\s]+"));
    std::vector<DdpReceiver> receivers;
    for (const QString& item : text.split(kSeparators, Qt::SkipEmptyParts)) {
        if (const auto receiver = ParseDdpReceiver(item)) {
            if (std::find(receivers.begin(), receivers.end(), *receiver) == receivers.end()) {
                receivers.push_back(*receiver);
            }
        } else if (bad != nullptr) {
            bad->append(item);
        }
    }
    return receivers;
}

QString DdpReceiverListText(const std::vector<DdpReceiver>& receivers) {
    QStringList texts;
    for (const DdpReceiver& receiver : receivers) {
        texts.append(receiver.toString());
    }
    return texts.join(QLatin1Char(','));
}

OutputSettings LoadOutputSettings(const QString& configPath) {
    const IniFile ini = IniFile::FromFile(configPath);
    OutputSettings settings;
    for (ScreenId screen : kAllScreens) {
        ScreenOutputs& outputs = settings.screen(screen);
        outputs.ddp =
            ParseDdpReceiverList(ini.value(kSection, Key("Ddp", screen)).value_or(QString()));
        outputs.pixels.serpentine = ReadIniFlag(ini, kSection, Key("DdpSerpentine", screen));
        if (const auto level = ParseIniInt(
                ini.value(kSection, Key("DdpBrightness", screen)).value_or(QString()))) {
            outputs.pixels.brightness = std::clamp(*level, 0, 100);
        }
        outputs.monitor = ini.value(kSection, Key("Monitor", screen)).value_or(QString()).trimmed();
        outputs.layout = ini.value(kSection, Key("MonitorLayout", screen)).value_or(QString()) ==
                                 QStringLiteral("1")
                             ? MonitorLayout::Confidence
                             : MonitorLayout::Projector;
    }
    return settings;
}

IoStatus SaveOutputSettings(const QString& configPath, const OutputSettings& settings) {
    IniFile ini = IniFile::FromFile(configPath);
    for (ScreenId screen : kAllScreens) {
        const ScreenOutputs& outputs = settings.screen(screen);
        ini.setValue(kSection, Key("Ddp", screen), DdpReceiverListText(outputs.ddp));
        ini.setValue(kSection, Key("DdpSerpentine", screen),
                     outputs.pixels.serpentine ? QStringLiteral("1") : QStringLiteral("0"));
        ini.setValue(kSection, Key("DdpBrightness", screen),
                     QString::number(std::clamp(outputs.pixels.brightness, 0, 100)));
        ini.setValue(kSection, Key("Monitor", screen), outputs.monitor);
        ini.setValue(kSection, Key("MonitorLayout", screen),
                     outputs.layout == MonitorLayout::Confidence ? QStringLiteral("1")
                                                                 : QStringLiteral("0"));
    }
    return ini.save(configPath);
}

namespace {

// "SCREEN=REST": the screen and REST.
std::optional<std::pair<ScreenId, QString>> ScreenAndValue(const QString& value) {
    const qsizetype equals = value.indexOf(QLatin1Char('='));
    const auto screen = ScreenOfLetter(equals < 0 ? QString() : value.left(equals));
    if (!screen) {
        return std::nullopt;
    }
    return std::make_pair(*screen, value.mid(equals + 1));
}

} // namespace

OutputArgumentsParse ParseOutputArguments(const QStringList& arguments) {
    OutputArgumentsParse parse;
    const QString ddp = QStringLiteral("--ddp");
    const TakenOptions options = TakeOptions(arguments, {ddp, QStringLiteral("--monitor")});
    parse.remaining = options.remaining;
    for (const auto& [option, value] : options.taken) {
        const auto pair = ScreenAndValue(value);
        if (option == ddp) {
            const auto receiver = pair ? ParseDdpReceiver(pair->second) : std::nullopt;
            if (!receiver) {
                parse.error = QStringLiteral("--ddp takes SCREEN=ADDR[:PORT] with SCREEN h, s or "
                                             "x and an IPv4 address: ") +
                              value;
                return parse;
            }
            auto& list = parse.overrides.ddp[static_cast<std::size_t>(ScreenIndex(pair->first))];
            if (!list) {
                list.emplace();
            }
            if (std::find(list->begin(), list->end(), *receiver) == list->end()) {
                list->push_back(*receiver);
            }
            continue;
        }
        OutputOverrides::Monitor monitor;
        if (pair) {
            monitor.name = pair->second.trimmed();
            const QString suffix = QStringLiteral(",confidence");
            if (monitor.name.endsWith(suffix)) {
                monitor.name.chop(suffix.size());
                monitor.layout = MonitorLayout::Confidence;
            }
        }
        if (!pair || monitor.name.isEmpty()) {
            parse.error = QStringLiteral("--monitor takes SCREEN=NAME[,confidence] with "
                                         "SCREEN h, s or x: ") +
                          value;
            return parse;
        }
        parse.overrides.monitor[static_cast<std::size_t>(ScreenIndex(pair->first))] = monitor;
    }
    parse.error = options.error;
    return parse;
}

QString OutputOptionsHelp() {
    return QStringLiteral(
        "  --ddp SCREEN=ADDR[:PORT]  also send screen SCREEN (h, s or x) to the DDP\n"
        "                            receiver ADDR (UDP port 4048 unless given); repeat\n"
        "                            for more receivers. For this run they replace the\n"
        "                            receivers stored for that screen.\n"
        "  --monitor SCREEN=NAME[,confidence]\n"
        "                            show screen SCREEN full-screen on the monitor NAME (a\n"
        "                            name as the desktop gives it, or its number from 1);\n"
        "                            \"confidence\" adds the next line below, for performers.\n");
}

OutputSettings WithOverrides(OutputSettings settings, const OutputOverrides& overrides) {
    for (ScreenId screen : kAllScreens) {
        const auto index = static_cast<std::size_t>(ScreenIndex(screen));
        if (const auto& list = overrides.ddp[index]) {
            settings.screen(screen).ddp = *list;
        }
        if (const auto& monitor = overrides.monitor[index]) {
            settings.screen(screen).monitor = monitor->name;
            settings.screen(screen).layout = monitor->layout;
        }
    }
    return settings;
}
