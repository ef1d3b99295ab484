// offline: generates the offline subtitle files of a playlist without the
// window; send-offline: writes the offline content into the cards, as the
// offline dialog's network send does. Venues prepare the cards from a script.
#include "CliCommand.h"
#include "CliStation.h"
#include "ConsoleOperator.h"

#include "core/Paths.h"
#include "core/Settings.h"
#include "link/LedThread.h"
#include "link/LinkConfig.h"
#include "link/StationLink.h"
#include "offline/AdvertFile.h"
#include "offline/DocumentReplay.h"
#include "offline/OfflineGeneration.h"
#include "offline/OfflineRecords.h"
#include "offline/OfflineSender.h"
#include "render/FontCatalogue.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QProcessEnvironment>

namespace {

const char kOfflineUsage[] =
    "Usage: subtitle-station-cli offline [--home DIR] [--playlist FILE.lft]\n"
    "\n"
    "Generates the offline subtitle files data/zim_h.bin, zim_s.bin, zim_x.bin of the\n"
    "screens in use in DIR/Config.ini from the playlist (the one the station last\n"
    "had open unless --playlist names one), as the station's offline dialog does.\n"
    "\n"
    "Exit codes: 0 written; 1 no playlist, or a file could not be written; 2 bad\n"
    "arguments.\n";
const char kSendUsage[] =
    "Usage: subtitle-station-cli send-offline [--home DIR] [--no-advert] [--no-subtitles]\n"
    "                                         [link options]\n"
    "\n"
    "Writes the stand-by advertisement of DIR/Config.ini (rendered and filed as\n"
    "data/gg_?.bin) and the offline subtitle files data/zim_?.bin (made by `offline`)\n"
    "into the flash of every card listed for the screens in use, printing each card\n"
    "and its progress. The cards then play on their own after the disconnect when\n"
    "the advertisement setting says so.\n"
    "\n"
    "Link options (127.0.0.1 for both to reach simulated cards):\n";
const char kSendTail[] =
    "\nExit codes: 0 every card took everything; 1 a card failed, a file was missing,\n"
    "or there was nothing to send to; 2 bad arguments.\n";

int Usage(CliIo& io, const QString& text, const QString& problem) {
    if (problem.isEmpty()) {
        io.out << text;
        return kExitOk;
    }
    io.err << problem << "\n\n" << text;
    return kExitUsage;
}

// Log lines on standard output; the progress line is printed every 256 blocks
// and at its end, so a long transfer shows it moves without flooding a log.
class ConsoleLog final : public OfflineLog {
public:
    explicit ConsoleLog(CliIo& io) : m_io(io) {}
    void Append(const QString& line) override {
        if (!line.isEmpty()) {
            m_io.out << line << '\n';
            m_io.out.flush();
        }
    }
    void ReplaceLast(const QString&) override {}
    void Clear() override {}
    void ShowProgress(const QString& card, int sent, int total) override {
        if (sent > 0 && (sent % 256 == 0 || sent == total)) {
            m_io.out << card << ": " << sent << "/" << total << '\n';
            m_io.out.flush();
        }
    }

private:
    CliIo& m_io;
};

struct HomeArguments {
    QString home;
    QString playlist;
    bool noAdvert = false;
    bool noSubtitles = false;
};

QString Parse(const char* command, const QStringList& arguments, bool sending, HomeArguments& out,
              bool& help) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption home(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption playlist(QStringLiteral("playlist"), QString(),
                                      QStringLiteral("FILE"));
    const QCommandLineOption noAdvert(QStringLiteral("no-advert"));
    const QCommandLineOption noSubtitles(QStringLiteral("no-subtitles"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    parser.addOptions({home, helpOption});
    if (sending) {
        parser.addOptions({noAdvert, noSubtitles});
    } else {
        parser.addOption(playlist);
    }
    if (!parser.parse(QStringList{QString::fromLatin1(command)} + arguments)) {
        return parser.errorText();
    }
    help = parser.isSet(helpOption);
    if (help) {
        return {};
    }
    if (!parser.positionalArguments().isEmpty()) {
        return QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first();
    }
    out.home = parser.value(home);
    if (parser.isSet(home) && !QFileInfo(out.home).isDir()) {
        return QStringLiteral("--home is not a directory: ") + out.home;
    }
    if (!sending && parser.isSet(playlist)) {
        out.playlist = parser.value(playlist);
        if (!QFileInfo(out.playlist).isFile()) {
            return QStringLiteral("--playlist is not a file: ") + out.playlist;
        }
    }
    out.noAdvert = sending && parser.isSet(noAdvert);
    out.noSubtitles = sending && parser.isSet(noSubtitles);
    return {};
}

} // namespace

int RunOfflineCommand(const QStringList& arguments, CliIo& io) {
    HomeArguments args;
    bool help = false;
    const QString problem = Parse("offline", arguments, false, args, help);
    if (help || !problem.isEmpty()) {
        return Usage(io, QString::fromUtf8(kOfflineUsage), problem);
    }
    SettingsStore settings;
    const StationPaths paths = CliStationPaths(args.home);
    LoadAndApplyConfig(settings, paths.configFile());
    const QString playlist = args.playlist.isEmpty() ? settings.Play.LastOpenFile : args.playlist;
    if (playlist.isEmpty() || !QFileInfo(playlist).isFile()) {
        io.err << "No playlist: give --playlist FILE.lft (Config.ini names "
               << (playlist.isEmpty() ? QStringLiteral("none") : playlist) << ")\n";
        return kExitFailure;
    }
    // The link is never opened: every frame goes to the files.
    StationLink link(LinkConfig::Loopback(0));
    TLedThread worker(link);
    ConsoleOperator op(io);
    DocumentReplay replay(settings, worker, op);
    const IoStatus opened = replay.OpenPlaylist(playlist);
    if (!opened) {
        io.err << opened.message << '\n';
        return kExitFailure;
    }
    const IoStatus generated =
        GenerateOfflineSubtitles(worker, replay, settings.ActiveSettings, paths,
                                 [&io](const QString& line) { io.out << line << '\n'; });
    if (!generated) {
        io.err << generated.message << '\n';
        return kExitFailure;
    }
    for (ScreenId screen : kAllScreens) {
        if (settings.ActiveSettings.screen(screen).ScreenKind) {
            const QString file = paths.dataFile(SubtitleFileName(screen));
            io.out << file << ": " << QFileInfo(file).size() << " bytes\n";
        }
    }
    return kExitOk;
}

int RunSendOfflineCommand(const QStringList& arguments, CliIo& io) {
    const LinkConfigParse linkOptions =
        ParseLinkConfig(arguments, QProcessEnvironment::systemEnvironment());
    const QString usage =
        QString::fromUtf8(kSendUsage) + LinkOptionsHelp() + QString::fromUtf8(kSendTail);
    if (!linkOptions.ok()) {
        return Usage(io, usage, linkOptions.error);
    }
    HomeArguments args;
    bool help = false;
    const QString problem = Parse("send-offline", linkOptions.remaining, true, args, help);
    if (help || !problem.isEmpty()) {
        return Usage(io, usage, problem);
    }
    SettingsStore settings;
    const StationPaths paths = CliStationPaths(args.home);
    LoadAndApplyConfig(settings, paths.configFile());
    const LinkConfigParse linkConfig = CliLink(linkOptions, paths);
    if (!linkConfig.ok()) {
        return Usage(io, usage, linkConfig.error);
    }
    int listed = 0;
    for (ScreenId screen : kAllScreens) {
        if (settings.ActiveSettings.screen(screen).ScreenKind) {
            listed +=
                static_cast<int>(std::min<std::size_t>(settings.cards(screen).size(), kMaxCards));
        }
    }
    if (listed == 0) {
        io.err << "No card is listed for a screen in use; search for the cards first.\n";
        return kExitFailure;
    }
    StationLink link(linkConfig.config);
    TLedThread worker(link);
    for (ScreenId screen : kAllScreens) {
        const TScreenParams& p = settings.ActiveSettings.screen(screen);
        worker.SetLinkScreenParams(screen, p);
    }
    ConsoleOperator op(io);
    ConsoleLog log(io);
    OfflineSender sender(link, worker, settings, op, paths);
    sender.SetLog(&log);
    if (!args.noAdvert) {
        QtRasteriser rasteriser;
        TextRenderer renderer(settings.ActiveSettings, rasteriser);
        renderer.SetFrameSink(&worker);
        const AdvertStyle style =
            AdvertStyleFromSettings(settings.Ad, FontCatalogue::InstalledFaces());
        for (ScreenId screen : kAllScreens) {
            const RenderOutcome outcome =
                renderer.RenderAdvert(screen, settings.Ad.hang1, settings.Ad.hang2, style);
            if (outcome.failed()) {
                op.Inform(outcome.message);
            }
            sender.SendAdvertisement(screen, outcome.status == RenderOutcome::Status::Rendered);
        }
    }
    if (!args.noSubtitles) {
        for (ScreenId screen : kAllScreens) {
            sender.SendSubtitleFile(screen);
        }
    }
    link.DeactivateAll();
    const int expected = listed * ((args.noAdvert ? 0 : 1) + (args.noSubtitles ? 0 : 1));
    io.out << sender.cardsDone() << " of " << expected << " transfers complete\n";
    return op.messages == 0 && sender.cardsDone() == expected ? kExitOk : kExitFailure;
}
