// Opening a long show's playlist and stepping through its entries: the time
// the operator waits between choosing an entry and seeing its lines.
#include "playback/ControllerFakes.h"

#include "core/Operator.h"
#include "core/TextFiles.h"
#include "documents/DocumentSession.h"
#include "documents/Playlist.h"
#include "playback/PlaybackController.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

class QuietOperator final : public OperatorInterface {
public:
    QString playlist;
    bool AskYesNo(const QString&) override { return false; }
    void Inform(const QString&) override {}
    void ShowError(const QString&) override {}
    QString ChooseOpenFile(const QString&, const QString&) override { return playlist; }
    QString ChooseSaveFile(const QString&, const QString&) override { return {}; }
    std::optional<QString> AskText(const QString&, const QString&, const QString&, bool) override {
        return std::nullopt;
    }
    void SetStatus(const QString&) override {}
};

class NullScreens final : public ScreenPort {
public:
    void RenderRows(const QString&, const QString&) override {}
};

// 200 entries: plain scripts, lyric scripts and projects of 300 lines each.
QString MakeShow(const QTemporaryDir& dir) {
    QStringList entries;
    const char* suffixes[] = {".txt", ".lrc", ".lpf"};
    for (int e = 0; e < 200; ++e) {
        QStringList lines;
        if (e % 3 == 2) {
            lines << QStringLiteral("[FontEffect]") << QStringLiteral("AutoPara=1")
                  << QStringLiteral("ParaLen=8") << QStringLiteral("[Content]");
        }
        for (int i = 0; i < 300; ++i) {
            const QString text =
                QStringLiteral("第%1场 第%2句 台词内容在这里显示给观众看").arg(e).arg(i);
            lines << (e % 3 == 1 ? QStringLiteral("[%1:%2.00]")
                                           .arg(i / 60, 2, 10, QLatin1Char('0'))
                                           .arg(i % 60, 2, 10, QLatin1Char('0')) +
                                       text
                                 : text);
        }
        const QString path =
            QDir(dir.path())
                .filePath(QStringLiteral("entry%1").arg(e) + QString::fromLatin1(suffixes[e % 3]));
        WriteLineFile(path, lines);
        entries << path;
    }
    const QString lft = QDir(dir.path()).filePath(QStringLiteral("show.lft"));
    WriteLineFile(lft, entries);
    return lft;
}

void BM_SelectEachEntryOfALongShow(benchmark::State& state) {
    QTemporaryDir dir;
    SettingsStore settings;
    DocumentSession document(settings);
    Playlist playlist;
    FakeAudioEngine engine;
    QuietOperator op;
    op.playlist = MakeShow(dir);
    RecordingLink link;
    NullScreens screens;
    RecordingView view;
    ManualTimer heartbeat, lineTimer, nextTimer;
    PlaybackController player({settings, document, playlist, engine, op, link, screens, view,
                               heartbeat, lineTimer, nextTimer});
    player.OpenPlaylist();
    if (playlist.count() != 200) {
        state.SkipWithError("playlist did not open");
        return;
    }
    qsizetype row = 0;
    for (auto _ : state) {
        player.SelectEntry(row);
        benchmark::DoNotOptimize(document.lines().size());
        row = (row + 1) % playlist.count();
    }
    state.SetLabel("per selection, 300-line scripts");
}
BENCHMARK(BM_SelectEachEntryOfALongShow)->Unit(benchmark::kMillisecond);

void BM_OpenLongShow(benchmark::State& state) {
    QTemporaryDir dir;
    const QString lft = MakeShow(dir);
    for (auto _ : state) {
        Playlist playlist;
        benchmark::DoNotOptimize(playlist.Open(lft, true));
    }
}
BENCHMARK(BM_OpenLongShow)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
