// render: draws one line for one screen as the station would and writes the
// screen's picture (and, on request, the frame its cards receive).
#include "CliCommand.h"
#include "CliStation.h"

#include "core/IoStatus.h"
#include "core/Paths.h"
#include "core/Settings.h"
#include "render/LastFrameSink.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <optional>

namespace {

const char kUsage[] =
    "Usage: subtitle-station-cli render [--home DIR] --screen h|s|x --row1 TEXT [--row2 TEXT]\n"
    "                                   --out PICTURE.png [--card-frame CARD.png] [--zoom N]\n"
    "\n"
    "Loads DIR/Config.ini, applies its stored settings and renders row 1 (and row 2 on a\n"
    "double-row screen) on the screen: h horizontal, s vertical, x small. Writes the\n"
    "screen's picture as the audience sees it to PICTURE.png, enlarged N times when --zoom\n"
    "is given, and the frame its cards receive to CARD.png. A screen that Config.ini marks\n"
    "as not in use is rendered all the same.\n"
    "Exit codes: 0 written, 1 the line is too long or a file cannot be written, 2 bad "
    "arguments.\n";

std::optional<ScreenId> ParseScreen(const QString& text) {
    if (text == QLatin1String("h")) {
        return ScreenId::h;
    }
    if (text == QLatin1String("s")) {
        return ScreenId::s;
    }
    if (text == QLatin1String("x")) {
        return ScreenId::x;
    }
    return std::nullopt;
}

int UsageError(CliIo& io, const QString& problem) {
    io.err << problem << "\n\n" << kUsage;
    return kExitUsage;
}

bool WritePng(const QImage& image, const QString& path, CliIo& io) {
    if (!image.save(path, "PNG")) {
        io.err << WriteFailedMessage(path) << '\n';
        return false;
    }
    return true;
}

} // namespace

int RunRenderCommand(const QStringList& arguments, CliIo& io) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption home(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption screen(QStringLiteral("screen"), QString(), QStringLiteral("h|s|x"));
    const QCommandLineOption row1(QStringLiteral("row1"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption row2(QStringLiteral("row2"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption out(QStringLiteral("out"), QString(), QStringLiteral("PICTURE"));
    const QCommandLineOption card(QStringLiteral("card-frame"), QString(), QStringLiteral("CARD"));
    const QCommandLineOption zoom(QStringLiteral("zoom"), QString(), QStringLiteral("N"));
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    parser.addOptions({home, screen, row1, row2, out, card, zoom, help});

    QStringList argv{QStringLiteral("render")};
    argv += arguments;
    if (!parser.parse(argv)) {
        return UsageError(io, parser.errorText());
    }
    if (parser.isSet(help)) {
        io.out << kUsage;
        return kExitOk;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return UsageError(io, QStringLiteral("Unexpected argument: ") +
                                  parser.positionalArguments().first());
    }
    for (const QCommandLineOption* required : {&screen, &row1, &out}) {
        if (!parser.isSet(*required)) {
            return UsageError(io, QStringLiteral("Missing --") + required->names().first());
        }
    }
    const std::optional<ScreenId> id = ParseScreen(parser.value(screen));
    if (!id) {
        return UsageError(io, QStringLiteral("--screen must be h, s or x, not: ") +
                                  parser.value(screen));
    }
    int factor = 1;
    if (parser.isSet(zoom)) {
        bool ok = false;
        factor = parser.value(zoom).toInt(&ok);
        if (!ok || factor < 1 || factor > 32) {
            return UsageError(io, QStringLiteral("--zoom must be a whole number from 1 to 32"));
        }
    }
    const QString homeDir = parser.value(home);
    if (parser.isSet(home) && !QFileInfo(homeDir).isDir()) {
        return UsageError(io, QStringLiteral("--home is not a directory: ") + homeDir);
    }

    SettingsStore store;
    LoadAndApplyConfig(store, CliStationPaths(homeDir).configFile());
    TSettings active = store.ActiveSettings;
    if (!active.screen(*id).ScreenKind) {
        // Asking for a screen is asking to see it; the station itself would skip it.
        io.err << "Screen " << QLatin1Char(ScreenLetter(*id))
               << " is not in use in Config.ini; rendering it anyway.\n";
        active.screen(*id).ScreenKind = true;
    }

    QtRasteriser rasteriser;
    LastFrameSink sink;
    TextRenderer renderer(active, rasteriser);
    renderer.SetFrameSink(&sink);
    const RenderOutcome outcome =
        renderer.RenderSubtitle(*id, parser.value(row1), parser.value(row2));
    if (outcome.failed()) {
        io.err << outcome.message << '\n';
        return kExitFailure;
    }

    QImage picture = renderer.renderBitmap(*id);
    if (factor > 1) {
        picture =
            picture.scaled(picture.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    if (!WritePng(picture, parser.value(out), io)) {
        return kExitFailure;
    }
    if (parser.isSet(card) && !WritePng(sink.frame(), parser.value(card), io)) {
        return kExitFailure;
    }
    io.out << "screen " << QLatin1Char(ScreenLetter(*id)) << ": picture "
           << renderer.renderBitmap(*id).width() << " x " << renderer.renderBitmap(*id).height()
           << ", card frame " << sink.frame().width() << " x " << sink.frame().height() << '\n';
    return kExitOk;
}
