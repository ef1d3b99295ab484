// lines: a pre-show check of a script, lyric or subtitle file. It prints how the
// station will read the file: its encoding, every entry in showing order with
// its time, then what the operator should look at before the show.
#include "CliCommand.h"

#include "core/Paths.h"
#include "core/Settings.h"
#include "core/TextFiles.h"
#include "documents/DocumentSession.h"
#include "documents/LyricTimeline.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <algorithm>
#include <set>

namespace {

const char kUsage[] =
    "Usage: subtitle-station-cli lines [--home DIR] FILE\n"
    "\n"
    "Prints how the station reads a script (.txt), lyric (.lrc), project (.lpf) or\n"
    "subtitle (.srt, .ass, .ssa) file: first 'encoding: NAME', then one line per entry in\n"
    "showing order, '[mm:ss.xx] text' for a timed entry, '[--:--.--] text' for an untimed\n"
    "one and '[mm:ss.xx]' alone where the screens go blank, then warnings: lines too long\n"
    "for a screen in use (by DIR/Config.ini, or the defaults without --home), lines that\n"
    "will never be shown, characters that cannot be saved as GBK, and in subtitle files\n"
    "every cue that is broken (times that cannot be read, no number, no blank line before\n"
    "it, no end after its start) or overlaps another.\n"
    "\n"
    "Exit codes: 0 no warnings; 1 warnings, or the file cannot be read; 2 bad arguments.\n";

QString EncodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Gbk:
        return QStringLiteral("GBK");
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf8Bom:
        return QStringLiteral("UTF-8 with byte order mark");
    case TextEncoding::Utf16LeBom:
        return QStringLiteral("UTF-16 LE with byte order mark");
    case TextEncoding::Utf16BeBom:
        return QStringLiteral("UTF-16 BE with byte order mark");
    }
    return QStringLiteral("GBK");
}

QString Stamp(const std::optional<qint64>& ms) {
    if (!ms) {
        return QStringLiteral("[--:--.--]");
    }
    const qint64 hundredths = *ms / 10;
    return QStringLiteral("[%1:%2.%3]")
        .arg(hundredths / 6000, 2, 10, QLatin1Char('0'))
        .arg((hundredths / 100) % 60, 2, 10, QLatin1Char('0'))
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

QString EnglishScreenName(ScreenId screen) {
    return screen == ScreenId::h   ? QStringLiteral("horizontal")
           : screen == ScreenId::s ? QStringLiteral("vertical")
                                   : QStringLiteral("small");
}

// Whether a picture has a lit dot on its outermost column or row along the
// direction the text runs: the layout keeps a margin, so a lit edge means the
// text ran into it and is cut.
bool TouchesTheEdge(const QImage& picture, bool vertical) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const auto lit = [&](int x, int y) { return rgb.pixel(x, y) != qRgb(0, 0, 0); };
    if (vertical) {
        for (int x = 0; x < rgb.width(); ++x) {
            if (lit(x, 0) || lit(x, rgb.height() - 1)) {
                return true;
            }
        }
        return false;
    }
    for (int y = 0; y < rgb.height(); ++y) {
        if (lit(0, y) || lit(rgb.width() - 1, y)) {
            return true;
        }
    }
    return false;
}

} // namespace

int RunLinesCommand(const QStringList& arguments, CliIo& io) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption home(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    parser.addOptions({home, help});
    if (!parser.parse(QStringList{QStringLiteral("lines")} + arguments)) {
        io.err << parser.errorText() << "\n\n" << kUsage;
        return kExitUsage;
    }
    if (parser.isSet(help)) {
        io.out << kUsage;
        return kExitOk;
    }
    if (parser.positionalArguments().size() != 1) {
        io.err << "Give exactly one file.\n\n" << kUsage;
        return kExitUsage;
    }
    const QString path = parser.positionalArguments().first();
    if (!QFileInfo(path).isFile()) {
        io.err << "Not a file: " << path << '\n';
        return kExitFailure;
    }

    SettingsStore settings;
    if (parser.isSet(home)) {
        const QString dir = parser.value(home);
        if (!QFileInfo(dir).isDir()) {
            io.err << "--home is not a directory: " << dir << "\n\n" << kUsage;
            return kExitUsage;
        }
        LoadAndApplyConfig(settings, StationPaths(dir).configFile());
    } else {
        ApplyStoredSettings(settings);
        settings.ActiveSettings.screen(ScreenId::h).ScreenKind = true;
    }
    DocumentSession session(settings);
    const IoStatus loaded = session.Load(path);
    if (!loaded) {
        io.err << loaded.message << '\n';
        return kExitFailure;
    }
    const SubtitleDocument& document = session.document();
    const DocumentTimeline timeline = BuildTimeline(document, session.lines());

    io.out << "encoding: " << EncodingName(document.encoding) << '\n';
    for (const TimelineEntry& entry : timeline.entries) {
        io.out << Stamp(entry.dueMs);
        if (!entry.text.isEmpty()) {
            io.out << ' ' << entry.text;
        }
        io.out << '\n';
    }

    QStringList warnings;
    if (document.kind == DocumentKind::Surtitle) {
        QList<SurtitleNote> notes = document.surtitle.notes + SurtitleOverlaps(document.surtitle);
        std::stable_sort(
            notes.begin(), notes.end(),
            [](const SurtitleNote& a, const SurtitleNote& b) { return a.fileLine < b.fileLine; });
        for (const SurtitleNote& note : notes) {
            warnings << QStringLiteral("line %1: %2").arg(note.fileLine).arg(note.text);
        }
    }
    for (const NeverShownEntry& never : timeline.neverShown) {
        const QString why = never.reason == NeverShownReason::NoTimeTag
                                ? QStringLiteral("it has no time tag")
                                : QStringLiteral("another line is due at the same moment");
        // In a subtitle file "line" means a line of the file; the list counts rows.
        const QString where = document.kind == DocumentKind::Surtitle ? QStringLiteral("row")
                                                                      : QStringLiteral("line");
        warnings << QStringLiteral("never shown (%1 %2, %3): %4")
                        .arg(where)
                        .arg(never.entry.item + 1)
                        .arg(why, never.entry.text);
    }

    // Every distinct line through the renderer of each screen in use.
    QtRasteriser rasteriser;
    TextRenderer renderer(settings.ActiveSettings, rasteriser);
    std::set<QString> checked;
    const LineList& items = session.lines();
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString& text = items[i].Text;
        if (text.isEmpty() || !checked.insert(text).second) {
            continue;
        }
        for (ScreenId screen : kAllScreens) {
            const TScreenParams& params = settings.ActiveSettings.screen(screen);
            if (!params.ScreenKind) {
                continue;
            }
            const RenderOutcome outcome = renderer.RenderSubtitle(screen, text, QString());
            if (outcome.failed()) {
                warnings << QStringLiteral("too long for the %1 screen (line %2): %3")
                                .arg(EnglishScreenName(screen))
                                .arg(i + 1)
                                .arg(text);
                continue;
            }
            const bool scrolls = settings.ActiveSettings.effect(screen).Effect == 1;
            const bool verticalText = screen == ScreenId::s ? params.Flash == 2 : params.Flash != 1;
            if (!scrolls && TouchesTheEdge(renderer.renderBitmap(screen), verticalText)) {
                warnings << QStringLiteral("cut at the edge of the %1 screen (line %2): %3")
                                .arg(EnglishScreenName(screen))
                                .arg(i + 1)
                                .arg(text);
            }
        }
    }

    QString unsavable;
    for (const QString& line : document.lines) {
        for (qsizetype at = 0; at < line.size();) {
            const qsizetype units = line[at].isHighSurrogate() && at + 1 < line.size() ? 2 : 1;
            const QString character = line.mid(at, units);
            if (!GbkHolds(character) && !unsavable.contains(character)) {
                unsavable += character;
            }
            at += units;
        }
    }
    if (!unsavable.isEmpty()) {
        warnings << QStringLiteral("characters GBK cannot hold (the file would be saved as "
                                   "UTF-8 with a byte order mark): ") +
                        unsavable;
    }

    for (const QString& warning : warnings) {
        io.out << "warning: " << warning << '\n';
    }
    return warnings.isEmpty() ? kExitOk : kExitFailure;
}
