// send: connects to the cards of Config.ini's card lists, shows a line (or the
// lines of a text file, one per Enter) on every screen in use, and disconnects,
// exactly as the station's live link does. DDP receivers get each screen's
// picture when its cards get their swap, also when no card is listed.
#include "CliCommand.h"
#include "CliStation.h"
#include "ConsoleOperator.h"

#include "core/Paths.h"
#include "core/Settings.h"
#include "core/TextFiles.h"
#include "link/LedThread.h"
#include "link/LinkConfig.h"
#include "link/LiveControl.h"
#include "link/StationLink.h"
#include "outputs/DdpOutput.h"
#include "outputs/OutputSettings.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <string>

namespace {

const char kUsageHead[] =
    "Usage: subtitle-station-cli send [--home DIR] [link options] [--ddp SCREEN=ADDR[:PORT]]...\n"
    "                                 (--line TEXT | --file FILE.txt)\n"
    "\n"
    "Loads DIR/Config.ini, connects to the cards listed for the screens in use, shows\n"
    "TEXT on every screen in use and disconnects. A screen's DDP receivers (Config.ini\n"
    "section [Outputs], or --ddp for this run) get its picture when the cards get\n"
    "theirs; a screen may have DDP receivers and no cards. With --file, the lines of the text\n"
    "file are shown one after the other: the first at once, each next one when Enter is\n"
    "pressed on standard input (double-row screens show the following line as row 2);\n"
    "the end of standard input stops early. The file is GBK text, or UTF-8 / UTF-16\n"
    "with a byte order mark. Messages of the cards go to standard error.\n"
    "\n"
    "Link options (use 127.0.0.1 for both to drive simulated cards, see led-card-sim):\n";
const char kUsageMiddle[] = "\nOutput options (use 127.0.0.1 receivers for tests and demos):\n";
const char kUsageTail[] =
    "\n"
    "Exit codes: 0 every card of every screen in use showed every line and every DDP\n"
    "picture was handed to the system; 1 a card did not answer, a DDP datagram was\n"
    "refused, a line was too long, standard input ended before the last line, or\n"
    "there was nothing to send to; 2 bad arguments.\n";

// How long one line may take on all cards: far above the worst case of
// cards that stop answering (20 attempts of 25 ms per slice, then skipped).
constexpr std::chrono::seconds kLineLimit{120};
// A DDP picture is sent without answers; only a stalled system takes this long.
constexpr std::chrono::seconds kDdpLimit{20};

QString Usage() {
    return QString::fromUtf8(kUsageHead) + LinkOptionsHelp() + QString::fromUtf8(kUsageMiddle) +
           OutputOptionsHelp() + QString::fromUtf8(kUsageTail);
}

int UsageError(CliIo& io, const QString& problem) {
    io.err << problem << "\n\n" << Usage();
    return kExitUsage;
}

QString ScreenLabel(ScreenId screen) {
    return QStringLiteral("  screen ") + QLatin1Char(ScreenLetter(screen));
}

void PrintMonitorLines(TLedThread& worker, CliIo& io) {
    for (const QString& line : worker.monitor().TakeLines()) {
        io.err << line << '\n';
    }
    io.err.flush();
}

} // namespace

int RunSendCommand(const QStringList& arguments, CliIo& io) {
    const LinkConfigParse linkOptions =
        ParseLinkConfig(arguments, QProcessEnvironment::systemEnvironment());
    if (!linkOptions.ok()) {
        return UsageError(io, linkOptions.error);
    }
    const OutputArgumentsParse outputOptions = ParseOutputArguments(linkOptions.remaining);
    if (!outputOptions.ok()) {
        return UsageError(io, outputOptions.error);
    }

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption home(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption line(QStringLiteral("line"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption file(QStringLiteral("file"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    parser.addOptions({home, line, file, help});
    QStringList argv{QStringLiteral("send")};
    argv += outputOptions.remaining;
    if (!parser.parse(argv)) {
        return UsageError(io, parser.errorText());
    }
    if (parser.isSet(help)) {
        io.out << Usage();
        return kExitOk;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return UsageError(io, QStringLiteral("Unexpected argument: ") +
                                  parser.positionalArguments().first());
    }
    if (parser.isSet(line) == parser.isSet(file)) {
        return UsageError(io, QStringLiteral("Give either --line or --file"));
    }
    const QString homeDir = parser.value(home);
    if (parser.isSet(home) && !QFileInfo(homeDir).isDir()) {
        return UsageError(io, QStringLiteral("--home is not a directory: ") + homeDir);
    }

    QStringList lines;
    if (parser.isSet(line)) {
        lines << parser.value(line);
    } else {
        const QString path = parser.value(file);
        if (!QFileInfo(path).isFile()) {
            return UsageError(io, QStringLiteral("--file is not a file: ") + path);
        }
        const LineFileContent content = ReadLineFile(path);
        if (!content.status) {
            io.err << content.status.message << '\n';
            return kExitFailure;
        }
        lines = content.lines;
        if (lines.isEmpty()) {
            io.err << "The file has no lines: " << path << '\n';
            return kExitFailure;
        }
    }

    SettingsStore settings;
    const StationPaths paths = CliStationPaths(homeDir);
    LoadAndApplyConfig(settings, paths.configFile());
    const LinkConfigParse link = CliLink(linkOptions, paths);
    if (!link.ok()) {
        return UsageError(io, link.error);
    }
    const OutputSettings outputs =
        WithOverrides(LoadOutputSettings(paths.configFile()), outputOptions.overrides);
    std::vector<ScreenId> inUse;
    int listed = 0;
    int receivers = 0;
    for (ScreenId screen : kAllScreens) {
        const std::size_t screenReceivers = outputs.screen(screen).ddp.size();
        if (settings.ActiveSettings.screen(screen).ScreenKind) {
            inUse.push_back(screen);
            listed +=
                static_cast<int>(std::min<std::size_t>(settings.cards(screen).size(), kMaxCards));
            receivers += static_cast<int>(screenReceivers);
        } else if (screenReceivers > 0) {
            io.err << "Screen " << ScreenLetter(screen)
                   << " is not in use in Config.ini; its DDP receivers get nothing.\n";
        }
    }
    if (inUse.empty()) {
        io.err << "No screen is in use in Config.ini; there is nothing to send to.\n";
        return kExitFailure;
    }
    if (listed == 0 && receivers == 0) {
        io.err << "The card lists of the screens in use are empty and no DDP receiver is "
                  "given; search for the cards in the station's screen parameters first.\n";
        return kExitFailure;
    }

    // Made before the worker, so it outlives the worker's senders that call it.
    DdpOutput ddpOutput;
    if (receivers > 0 && !ddpOutput.SocketError().isEmpty()) {
        io.err << "The DDP socket could not be opened: " << ddpOutput.SocketError() << '\n';
        return kExitFailure;
    }
    ddpOutput.SetOutputs(outputs);
    StationLink stationLink(link.config);
    TLedThread worker(stationLink);
    for (ScreenId screen : kAllScreens) {
        const TScreenParams& params = settings.ActiveSettings.screen(screen);
        worker.SetLinkScreenParams(screen, params);
        ddpOutput.SetScreenSize(screen, params.ScreenWidth, params.ScreenHeight);
    }
    worker.SetFrameTap(&ddpOutput);
    worker.monitor().SetVisible(true);
    ConsoleOperator op(io);
    LiveControl live(stationLink, worker, settings, op);
    QtRasteriser rasteriser;
    TextRenderer renderer(settings.ActiveSettings, rasteriser);
    renderer.SetFrameSink(&worker);

    bool allShown = true;
    live.Connect();
    if (op.messages > 0) {
        allShown = false;
    }
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& row1 = lines[i];
        const QString row2 = i + 1 < lines.size() ? lines[i + 1] : QString();
        io.out << "line " << i + 1 << " of " << lines.size() << ": " << row1 << '\n';
        // Every screen gets its frame before any is waited for: the worker's
        // senders then carry the line to all screens at once and swap them
        // together, as the station does.
        struct Pending {
            ScreenId screen;
            long long before;
            DdpReport ddpBefore;
        };
        std::vector<Pending> pending;
        for (ScreenId screen : inUse) {
            const long long before = worker.LastFrame(screen).frames;
            const DdpReport ddpBefore = ddpOutput.Report(screen);
            const RenderOutcome outcome = renderer.RenderSubtitle(screen, row1, row2);
            if (outcome.failed()) {
                io.err << ScreenLabel(screen) << ": " << outcome.message << '\n';
                allShown = false;
                continue;
            }
            pending.push_back({screen, before, ddpBefore});
        }
        const auto deadline = std::chrono::steady_clock::now() + kLineLimit;
        for (const Pending& p : pending) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (!worker.WaitFramesDone(p.screen, p.before + 1,
                                       std::max(left, std::chrono::milliseconds(0)))) {
                io.err << ScreenLabel(p.screen) << ": the transfer did not finish\n";
                allShown = false;
                continue;
            }
            const FrameReport report = worker.LastFrame(p.screen);
            if (report.cards > 0 || !ddpOutput.HasReceivers(p.screen)) {
                io.out << ScreenLabel(p.screen) << ": shown by " << report.shown << " of "
                       << report.cards << " cards\n";
            }
            if (report.shown < report.cards) {
                allShown = false;
            }
            if (ddpOutput.HasReceivers(p.screen)) {
                // The DDP picture leaves on its own thread as the cards swap;
                // it is sent by the time the next line could start.
                if (!ddpOutput.WaitFramesSent(p.screen, p.ddpBefore.frames + 1, kDdpLimit)) {
                    io.err << ScreenLabel(p.screen) << ": the DDP picture was not sent\n";
                    allShown = false;
                    continue;
                }
                const DdpReport sent = ddpOutput.Report(p.screen);
                io.out << ScreenLabel(p.screen) << ": sent to "
                       << outputs.screen(p.screen).ddp.size() << " DDP receiver(s)\n";
                if (sent.refused > p.ddpBefore.refused) {
                    io.err << ScreenLabel(p.screen) << ": DDP datagrams refused: " << sent.lastError
                           << '\n';
                    allShown = false;
                }
            }
        }
        io.out.flush();
        PrintMonitorLines(worker, io);
        if (i + 1 < lines.size()) {
            io.out << "Press Enter for line " << i + 2 << ": " << lines[i + 1] << '\n';
            io.out.flush();
            std::string answer;
            if (!std::getline(std::cin, answer)) {
                io.out << "Standard input ended; stopping after line " << i + 1 << ".\n";
                allShown = false;
                break;
            }
        }
    }
    live.Disconnect();
    worker.SetFrameTap(nullptr);
    io.out.flush();
    return allShown ? kExitOk : kExitFailure;
}
