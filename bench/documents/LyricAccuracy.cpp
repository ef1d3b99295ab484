// Plays lyric files through the station's own player with a simulated track
// and measures how many of the entries a plain reading of each file finds
// reach the screens with the right text within 0.15 s of their stamp.
//
//   lyric_accuracy FILE.lrc...
//
// A file whose name starts with "gbk_" is read for the reference as GBK,
// every other one as UTF-8. The reference reading is deliberately simple and
// independent of the station's parser: every leading [mm:ss.xx] stamp of a
// line is an entry with the line's text (word-timing tags removed), shifted
// by [offset:] (milliseconds, positive = earlier), never below 0.
#include "ControllerFakes.h"

#include "core/Operator.h"
#include "core/Settings.h"
#include "documents/DocumentSession.h"
#include "documents/Playlist.h"
#include "playback/PlaybackController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

struct Entry {
    qint64 ms = 0;
    QString text;
};

std::vector<Entry> PlainReading(const QString& text) {
    static const QRegularExpression kLeading(QStringLiteral(R"(^\[(\d+):(\d+(?:\.\d+)?)\])"));
    static const QRegularExpression kWordTags(
        QStringLiteral(R"(<\d+:\d+(?:\.\d+)?>|\[\d+:\d+(?:\.\d+)?\])"));
    static const QRegularExpression kOffset(QStringLiteral(R"(^\[offset:\s*([+-]?\d+)\s*\])"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression kSpaces(QStringLiteral(R"(\s+)"));
    std::vector<Entry> entries;
    qint64 offset = 0;
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (QString line : lines) {
        line = line.trimmed();
        if (const auto m = kOffset.match(line); m.hasMatch()) {
            offset = m.captured(1).toLongLong();
            continue;
        }
        std::vector<qint64> stamps;
        for (auto m = kLeading.match(line); m.hasMatch(); m = kLeading.match(line)) {
            stamps.push_back(m.captured(1).toLongLong() * 60000 +
                             qint64(m.captured(2).toDouble() * 1000.0 + 0.5));
            line = line.mid(m.capturedLength());
        }
        QString shown = line;
        shown.replace(kWordTags, QString());
        shown = shown.replace(kSpaces, QStringLiteral(" ")).trimmed();
        for (qint64 stamp : stamps) {
            entries.push_back({std::max<qint64>(0, stamp - offset), shown});
        }
    }
    return entries;
}

class QuietOperator final : public OperatorInterface {
public:
    bool AskYesNo(const QString&) override { return false; }
    void Inform(const QString&) override {}
    void ShowError(const QString&) override {}
    QString ChooseOpenFile(const QString&, const QString&) override { return {}; }
    QString ChooseSaveFile(const QString&, const QString&) override { return {}; }
    std::optional<QString> AskText(const QString&, const QString&, const QString&, bool) override {
        return std::nullopt;
    }
    void SetStatus(const QString&) override {}
};

// What reached the screens, and when.
class ShownLines final : public ScreenPort {
public:
    void RenderRows(const QString& row1, const QString&) override { shown.push_back({*now, row1}); }
    const qint64* now = nullptr;
    std::vector<Entry> shown;
};

struct Score {
    int entries = 0;
    int onTime = 0;
};

Score Measure(const QString& path, bool print) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return {};
    }
    const QByteArray bytes = file.readAll();
    const bool gbk = QFileInfo(path).fileName().startsWith(QStringLiteral("gbk_"));
    QStringDecoder decoder(gbk ? "GBK" : "UTF-8");
    const std::vector<Entry> reference = PlainReading(decoder.decode(bytes));

    // The station plays a copy beside a track of its own.
    QTemporaryDir dir;
    const QString lyric = QDir(dir.path()).filePath(QStringLiteral("song.lrc"));
    QFile::copy(path, lyric);
    const QString track = QDir(dir.path()).filePath(QStringLiteral("song.mp3"));
    QFile(track).open(QIODevice::WriteOnly);
    qint64 last = 0;
    for (const Entry& e : reference) {
        last = std::max(last, e.ms);
    }

    SettingsStore settings;
    settings.Play.AutoPlayCaption = true;
    DocumentSession document(settings);
    Playlist playlist;
    playlist.Append(lyric);
    FakeAudioEngine engine;
    engine.lengths[track] = double(last) / 1000.0 + 3.0;
    QuietOperator op;
    RecordingLink link;
    ShownLines screens;
    qint64 now = 0;
    screens.now = &now;
    RecordingView view;
    ManualTimer heartbeat, lineTimer, nextFile;
    PlaybackController player({settings, document, playlist, engine, op, link, screens, view,
                               heartbeat, lineTimer, nextFile});
    player.Start();
    player.SelectEntry(0);
    player.PlayFromStart();
    // The heartbeat every 100 ms of track time.
    while (player.state() == PlayerState::Playing && now <= last + 5000) {
        now += PlaybackController::kHeartbeatMs;
        engine.Advance(PlaybackController::kHeartbeatMs / 1000.0);
        heartbeat.Fire();
    }

    Score score;
    std::vector<bool> used(screens.shown.size(), false);
    for (const Entry& e : reference) {
        ++score.entries;
        bool hit = false;
        for (size_t i = 0; i < screens.shown.size() && !hit; ++i) {
            const Entry& s = screens.shown[i];
            if (!used[i] && s.text.trimmed() == e.text && std::llabs(s.ms - e.ms) <= 150) {
                used[i] = true;
                hit = true;
            }
        }
        score.onTime += hit ? 1 : 0;
        if (print && !hit) {
            std::printf("    missed %lld ms: %s\n", static_cast<long long>(e.ms),
                        qPrintable(e.text));
        }
    }
    return score;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList files = app.arguments().mid(1);
    const bool verbose = files.removeAll(QStringLiteral("--verbose")) > 0;
    Score total;
    for (const QString& path : files) {
        const Score score = Measure(path, verbose);
        std::printf("%-28s %4d entries, %4d on time with the right text (%.0f%%)\n",
                    qPrintable(QFileInfo(path).fileName()), score.entries, score.onTime,
                    score.entries ? 100.0 * score.onTime / score.entries : 0.0);
        total.entries += score.entries;
        total.onTime += score.onTime;
    }
    std::printf("all: %d entries, %d on time with the right text (%.1f%%)\n", total.entries,
                total.onTime, total.entries ? 100.0 * total.onTime / total.entries : 0.0);
    return 0;
}
