// The service technician's commands: search (the cards that answer on each
// screen), readback (search, then take each screen's settings from its first
// card, as the station's 回读 does) and params (the parameter files of
// Config.ini's screens), plus show-params to print what a parameter file holds.
#include "CliCommand.h"
#include "CliStation.h"
#include "ConsoleOperator.h"

#include "core/Paths.h"
#include "core/Settings.h"
#include "link/CardRecordFill.h"
#include "link/FrameEncoding.h"
#include "link/LedThread.h"
#include "link/LinkConfig.h"
#include "link/StationLink.h"
#include "offline/ParamBlock.h"
#include "offline/ParamFiles.h"
#include "offline/ScreenParamControl.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTimer>

#include <functional>

namespace {

struct ServiceArguments {
    QString home;
    std::vector<ScreenId> screens;
    bool save = false;
    LinkConfig link;
    QStringList positional;
};

QString ColourName(int style) {
    return style == 0   ? QStringLiteral("单色")
           : style == 1 ? QStringLiteral("双色")
                        : QStringLiteral("三色");
}

QString PageText(const TScreenParams& p) {
    return QStringLiteral("%1%2 x %3, %4, %5, OE %6, data %7")
        .arg(p.ScreenKind ? QString() : QStringLiteral("(not in use) "))
        .arg(p.ScreenWidth)
        .arg(p.ScreenHeight)
        .arg(ColourName(p.ScreenStyle))
        .arg(p.ScanStyle >= 0 && p.ScanStyle < 10 ? ScanEntries().at(p.ScanStyle).simplified()
                                                  : QString::number(p.ScanStyle))
        .arg(p.OePol == 0 ? QStringLiteral("高有效") : QStringLiteral("低有效"))
        .arg(p.DataPol == 0 ? QStringLiteral("负极性") : QStringLiteral("正极性"));
}

// Parses --home, --screen (repeatable) and, when `withSave`, --save; the link
// options too when `withLink`. Returns an error text or empty.
QString ParseServiceArguments(const char* command, const QStringList& arguments, bool withLink,
                              bool withSave, ServiceArguments& out, bool& help) {
    QStringList rest = arguments;
    LinkConfigParse linkOptions;
    if (withLink) {
        linkOptions = ParseLinkConfig(arguments, QProcessEnvironment::systemEnvironment());
        if (!linkOptions.ok()) {
            return linkOptions.error;
        }
        rest = linkOptions.remaining;
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption home(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption screen(QStringLiteral("screen"), QString(), QStringLiteral("h|s|x"));
    const QCommandLineOption save(QStringLiteral("save"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    parser.addOptions({home, screen, helpOption});
    if (withSave) {
        parser.addOption(save);
    }
    if (!parser.parse(QStringList{QString::fromLatin1(command)} + rest)) {
        return parser.errorText();
    }
    help = parser.isSet(helpOption);
    if (help) {
        return {};
    }
    out.positional = parser.positionalArguments();
    if (!out.positional.isEmpty()) {
        return QStringLiteral("Unexpected argument: ") + out.positional.first();
    }
    out.home = parser.value(home);
    if (parser.isSet(home) && !QFileInfo(out.home).isDir()) {
        return QStringLiteral("--home is not a directory: ") + out.home;
    }
    if (withLink) {
        const LinkConfigParse link = CliLink(linkOptions, CliStationPaths(out.home));
        if (!link.ok()) {
            return link.error;
        }
        out.link = link.config;
    }
    for (const QString& value : parser.values(screen)) {
        bool known = false;
        for (ScreenId id : kAllScreens) {
            if (value == QString(QLatin1Char(ScreenLetter(id)))) {
                out.screens.push_back(id);
                known = true;
            }
        }
        if (!known) {
            return QStringLiteral("--screen takes h, s or x, not: ") + value;
        }
    }
    if (out.screens.empty()) {
        out.screens.assign(kAllScreens.begin(), kAllScreens.end());
    }
    out.save = withSave && parser.isSet(save);
    return {};
}

// Runs the event loop until `done` holds (the control's timers drive it).
void RunUntil(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    poll.start();
    if (!done()) {
        loop.exec();
    }
}

void PrintCards(CliIo& io, ScreenId screen, const CardList& cards) {
    io.out << "[" << ScreenLetter(screen) << "] " << ScreenName(screen) << ": " << cards.size()
           << (cards.size() == 1 ? " card\n" : " cards\n");
    for (const CardEntry& entry : cards) {
        TScreenParams fromCard;
        fromCard.ScreenKind = true;
        FillFromCard(screen, entry.record, fromCard);
        io.out << "  " << entry.id << "\n    " << PageText(fromCard) << '\n';
    }
}

// The station's screen-parameter dialog without its window, over a link and a
// suspended worker of its own.
struct ServiceRig {
    explicit ServiceRig(const ServiceArguments& args, CliIo& io)
        : paths(CliStationPaths(args.home)), link(args.link), worker(link), op(io),
          control(link, worker, settings, op, paths) {
        LoadAndApplyConfig(settings, paths.configFile());
        control.LoadPagesFromSettings();
    }
    SettingsStore settings;
    StationPaths paths;
    StationLink link;
    TLedThread worker;
    ConsoleOperator op;
    ScreenParamControl control;
};

int SaveSettings(ServiceRig& rig, CliIo& io) {
    const IoStatus saved = SaveConfig(rig.settings, rig.paths.configFile());
    if (!saved) {
        io.err << saved.message << '\n';
        return kExitFailure;
    }
    io.out << "written: " << rig.paths.configFile() << '\n';
    return kExitOk;
}

const char kSearchUsage[] =
    "Usage: subtitle-station-cli search [--home DIR] [--screen h|s|x]... [--save] [link options]\n"
    "\n"
    "Searches for the controller cards of each screen (all three unless --screen names\n"
    "some) as the station's 寻找 does, and lists each card with the screen it\n"
    "describes. --save writes the found lists into DIR/Config.ini, replacing the\n"
    "lists of the screens searched.\n"
    "\n"
    "Link options (127.0.0.1 for both to reach simulated cards):\n";
const char kReadbackUsage[] =
    "Usage: subtitle-station-cli readback [--home DIR] [link options]\n"
    "\n"
    "The station's 回读: searches all three screens, takes each screen's size, colour,\n"
    "scan and polarities from the first card that answered on it (a screen with cards\n"
    "is then in use; one without keeps its settings), prints the counts and the\n"
    "screens, and writes the card lists and screens into DIR/Config.ini.\n"
    "\n"
    "Link options (127.0.0.1 for both to reach simulated cards):\n";
const char kParamsUsage[] =
    "Usage: subtitle-station-cli params [--home DIR] [--screen h|s|x]...\n"
    "\n"
    "Writes the parameter files data/cs_h.bin, cs_s.bin and cs_x.bin (or those of the\n"
    "screens named) from the screens of DIR/Config.ini, as the station's\n"
    "生成脱机文件 does; the cards load them from a USB stick.\n";
const char kShowUsage[] =
    "Usage: subtitle-station-cli show-params FILE...\n"
    "\n"
    "Prints what a 512-byte parameter file (cs_h.bin...) holds, field by field.\n";
const char kExitCodes[] =
    "\nExit codes: 0 done; 1 nothing found or a file could not be read or written;\n"
    "2 bad arguments.\n";

int Usage(CliIo& io, const char* usage, bool withLink, const QString& problem) {
    QString text = QString::fromUtf8(usage);
    if (withLink) {
        text += LinkOptionsHelp();
    }
    text += QString::fromUtf8(kExitCodes);
    if (problem.isEmpty()) {
        io.out << text;
        return kExitOk;
    }
    io.err << problem << "\n\n" << text;
    return kExitUsage;
}

} // namespace

int RunSearchCommand(const QStringList& arguments, CliIo& io) {
    ServiceArguments args;
    bool help = false;
    const QString problem = ParseServiceArguments("search", arguments, true, true, args, help);
    if (help || !problem.isEmpty()) {
        return Usage(io, kSearchUsage, true, problem);
    }
    ServiceRig rig(args, io);
    for (ScreenId screen : args.screens) {
        rig.control.Search(screen);
    }
    RunUntil([&] {
        return std::none_of(args.screens.begin(), args.screens.end(),
                            [&](ScreenId s) { return rig.control.IsSearching(s); });
    });
    std::size_t found = 0;
    for (ScreenId screen : args.screens) {
        PrintCards(io, screen, rig.control.cards(screen));
        found += rig.control.cards(screen).size();
    }
    if (args.save && SaveSettings(rig, io) != kExitOk) {
        return kExitFailure;
    }
    return found > 0 ? kExitOk : kExitFailure;
}

int RunReadbackCommand(const QStringList& arguments, CliIo& io) {
    ServiceArguments args;
    bool help = false;
    const QString problem = ParseServiceArguments("readback", arguments, true, false, args, help);
    if (help || !problem.isEmpty()) {
        return Usage(io, kReadbackUsage, true, problem);
    }
    ServiceRig rig(args, io);
    std::optional<std::array<int, 3>> counts;
    QObject::connect(&rig.control, &ScreenParamControl::readbackFinished,
                     [&counts](std::array<int, 3> found) { counts = found; });
    rig.control.Readback();
    RunUntil([&] { return counts.has_value(); });
    rig.control.CopyPagesToSettings(false);
    // Without a project file the screens are the stored ones too.
    rig.settings.StoredSettings.Screen = rig.settings.ActiveSettings.Screen;
    io.out << ReadbackMessage(*counts) << '\n';
    for (ScreenId screen : kAllScreens) {
        PrintCards(io, screen, rig.control.cards(screen));
        io.out << "  screen: " << PageText(rig.settings.ActiveSettings.screen(screen)) << '\n';
    }
    if (SaveSettings(rig, io) != kExitOk) {
        return kExitFailure;
    }
    return (*counts)[0] + (*counts)[1] + (*counts)[2] > 0 ? kExitOk : kExitFailure;
}

int RunParamsCommand(const QStringList& arguments, CliIo& io) {
    ServiceArguments args;
    bool help = false;
    const QString problem = ParseServiceArguments("params", arguments, false, false, args, help);
    if (help || !problem.isEmpty()) {
        return Usage(io, kParamsUsage, false, problem);
    }
    // Loopback, never used: writing files sends nothing.
    args.link = LinkConfig::Loopback(0);
    ServiceRig rig(args, io);
    int failures = 0;
    for (ScreenId screen : args.screens) {
        const TScreenParams& p = rig.settings.ActiveSettings.screen(screen);
        rig.worker.SetLinkScreenParams(screen, p);
        const IoStatus written =
            WriteParamFile(rig.paths, screen, BuildParamBlock(rig.worker.linkScreen(screen)));
        if (!written) {
            io.err << written.message << '\n';
            ++failures;
            continue;
        }
        io.out << rig.paths.dataFile(ParamFileName(screen)) << ": " << PageText(p) << " - "
               << ParamFileWrittenMessage(screen) << '\n';
    }
    return failures == 0 ? kExitOk : kExitFailure;
}

int RunShowParamsCommand(const QStringList& arguments, CliIo& io) {
    if (arguments.isEmpty()) {
        return Usage(io, kShowUsage, false, QStringLiteral("Give at least one file"));
    }
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        return Usage(io, kShowUsage, false, {});
    }
    int failures = 0;
    for (const QString& path : arguments) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            io.err << "Cannot read " << path << ": " << file.errorString() << '\n';
            ++failures;
            continue;
        }
        const QByteArray bytes = file.read(kParamBlockBytes + 1);
        if (bytes.size() != kParamBlockBytes) {
            io.err << path << ": " << bytes.size() << (bytes.size() > kParamBlockBytes ? "+" : "")
                   << " bytes; a parameter file is exactly 512 bytes\n";
            ++failures;
            continue;
        }
        ParamBlock block{};
        std::copy_n(reinterpret_cast<const std::uint8_t*>(bytes.constData()), kParamBlockBytes,
                    block.begin());
        io.out << path << ":\n" << DescribeParamBlock(ReadParamBlock(block));
    }
    return failures == 0 ? kExitOk : kExitFailure;
}
