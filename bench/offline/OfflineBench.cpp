// Offline content: how fast a playlist becomes offline subtitle files on three
// screens, and how fast a file goes into a simulated card on loopback.
#include "offline/DocumentReplay.h"
#include "offline/OfflineGeneration.h"
#include "offline/OfflineSender.h"

#include "CardBank.h"
#include "LoopbackRig.h"
#include "core/TextFiles.h"
#include "support/ScriptedOperator.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <random>

namespace {

void ThreeScreens(SettingsStore& settings) {
    for (TSettings* s : {&settings.StoredSettings, &settings.ActiveSettings}) {
        s->screen(ScreenId::h) = TScreenParams{true, 1, 256, 32, 1, 0, 0, 1, 0};
        s->screen(ScreenId::s) = TScreenParams{true, 2, 32, 256, 1, 0, 0, 1, 0};
        s->screen(ScreenId::x) = TScreenParams{true, 1, 192, 32, 0, 0, 0, 1, 0};
    }
}

// Lines per second: a script of state.range(0) different lines, rendered on
// three screens, encoded and written.
void BM_GenerateThreeScreens(benchmark::State& state) {
    QTemporaryDir home;
    const int lines = static_cast<int>(state.range(0));
    QStringList text;
    for (int i = 0; i < lines; ++i) {
        text << QStringLiteral("第%1句：今晚的演出即将开始").arg(i);
    }
    const QString script = QDir(home.path()).filePath(QStringLiteral("script.txt"));
    const QString playlist = QDir(home.path()).filePath(QStringLiteral("show.lft"));
    {
        QFile file(script);
        file.open(QIODevice::WriteOnly);
        file.write(JoinLinesGbk(text));
        QFile list(playlist);
        list.open(QIODevice::WriteOnly);
        list.write(JoinLinesGbk({script}));
    }
    SettingsStore settings;
    ThreeScreens(settings);
    StationLink link(LinkConfig::Loopback(0));
    TLedThread worker(link);
    ScriptedOperator op;
    DocumentReplay replay(settings, worker, op);
    replay.OpenPlaylist(playlist);
    const StationPaths paths(home.path());
    for (auto _ : state) {
        const IoStatus done = GenerateOfflineSubtitles(worker, replay, settings.ActiveSettings,
                                                       paths, [](const QString&) {});
        if (!done) {
            state.SkipWithError("generation failed");
            break;
        }
    }
    state.counters["lines_per_s"] =
        benchmark::Counter(static_cast<double>(lines) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GenerateThreeScreens)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime();

// One MiB into one card.
void BM_TransferOneMegabyte(benchmark::State& state) {
    QTemporaryDir home;
    QDir().mkpath(QDir(home.path()).filePath(QStringLiteral("data")));
    std::mt19937 random(1);
    QByteArray bytes(1 << 20, '\0');
    for (char& b : bytes) {
        b = static_cast<char>(random());
    }
    QFile file(QDir(home.path()).filePath(QStringLiteral("data/zim_h.bin")));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    file.close();
    const SimCardSpec card = TestCard(1);
    LoopbackRig rig({card});
    if (!rig.ok()) {
        state.SkipWithError("no loopback rig");
        return;
    }
    rig.bank().SetKeptLogLines(0);
    SettingsStore settings;
    settings.ActiveSettings.screen(ScreenId::h).ScreenKind = true;
    settings.cards(ScreenId::h) = {
        {QStringLiteral("mac:") + MacText(card.mac) + QStringLiteral(" 舞台屏->Q1卡"), {}}};
    TLedThread worker(rig.link());
    ScriptedOperator op;
    OfflineSender sender(rig.link(), worker, settings, op, StationPaths(home.path()));
    for (auto _ : state) {
        sender.SendSubtitleFile(ScreenId::h);
    }
    if (sender.cardsDone() != static_cast<int>(state.iterations())) {
        state.SkipWithError("a transfer failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes.size());
}
BENCHMARK(BM_TransferOneMegabyte)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
