// The live link with simulated cards on loopback:
// - line-switch latency: from RequestFrame on the three screens to the last
//   acknowledged SwapBuffer (horizontal 256 x 32 dual colour, vertical 32 x 256
//   dual colour, small 256 x 32 single colour, four cards each);
// - the whole process's CPU time while connected and idle for 10 s.
#include "LoopbackRig.h"

#include "link/LedThread.h"
#include "link/LiveControl.h"
#include "support/Pictures.h"

#include <QImage>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class QuietOperator final : public OperatorInterface {
public:
    bool AskYesNo(const QString&) override { return false; }
    void Inform(const QString&) override { ++messages; }
    void ShowError(const QString&) override { ++messages; }
    QString ChooseOpenFile(const QString&, const QString&) override { return {}; }
    QString ChooseSaveFile(const QString&, const QString&) override { return {}; }
    std::optional<QString> AskText(const QString&, const QString&, const QString&, bool) override {
        return std::nullopt;
    }
    void SetStatus(const QString&) override {}
    int messages = 0;
};

struct ScreenSetup {
    ScreenId screen;
    int width; // as the audience sees the screen
    int height;
    int colour; // 0 single, 1 dual
};
constexpr ScreenSetup kScreens[] = {
    {ScreenId::h, 256, 32, 1},
    {ScreenId::s, 32, 256, 1},
    {ScreenId::x, 256, 32, 0},
};
constexpr int kCardsPerScreen = 4;

// Twelve cards, the settings of the three screens and their card lists, for a
// LiveControl connect.
struct Station {
    Station() {
        std::vector<SimCardSpec> cards;
        for (const ScreenSetup& s : kScreens) {
            TScreenParams& params = settings.ActiveSettings.screen(s.screen);
            params = TScreenParams{true, 1, s.width, s.height, s.colour, 0, 0, 1, 0};
            for (int i = 0; i < kCardsPerScreen; ++i) {
                SimCardSpec card = TestCard(ScreenNumber(s.screen) * 16 + i, s.screen);
                // The card's own geometry: the vertical screen's is turned.
                card.params = MakeCardParams(256, 32, 0, s.colour);
                cards.push_back(card);
                settings.cards(s.screen).push_back(
                    {QStringLiteral("mac:") + MacText(card.mac) + QStringLiteral(" 舞台屏->A卡"),
                     {}});
            }
        }
        rig = std::make_unique<LoopbackRig>(cards);
        if (!rig->ok()) {
            return;
        }
        worker = std::make_unique<TLedThread>(rig->link());
        for (const ScreenSetup& s : kScreens) {
            worker->SetLinkScreenParams(s.screen, s.width, s.height, s.colour, 0, 0, 1);
        }
        live = std::make_unique<LiveControl>(rig->link(), *worker, settings, op);
    }
    ~Station() {
        if (live) {
            live->Disconnect();
        }
    }

    SettingsStore settings;
    QuietOperator op;
    std::unique_ptr<LoopbackRig> rig;
    std::unique_ptr<TLedThread> worker;
    std::unique_ptr<LiveControl> live;
};

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

void BM_LineSwitchLatency(benchmark::State& state) {
    Station station;
    if (!station.rig->ok()) {
        state.SkipWithError(station.rig->error().toStdString().c_str());
        return;
    }
    station.live->Connect();
    if (station.op.messages != 0) {
        state.SkipWithError("a card did not connect");
        return;
    }
    TLedThread& worker = *station.worker;
    // Two different lines, so every frame changes every plane.
    const QImage frames[2] = {NoisePicture(256, 32, 1), NoisePicture(256, 32, 2)};
    std::vector<double> micros;
    long long done = 0;
    int incomplete = 0;
    for (auto _ : state) {
        const QImage& frame = frames[done % 2];
        const auto start = Clock::now();
        for (const ScreenSetup& s : kScreens) {
            worker.LoadScreenBitmap(s.screen, frame, {});
            worker.RequestFrame(s.screen);
        }
        ++done;
        for (const ScreenSetup& s : kScreens) {
            worker.WaitFramesDone(s.screen, done, std::chrono::seconds(10));
            if (worker.LastFrame(s.screen).shown != kCardsPerScreen) {
                ++incomplete;
            }
        }
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        state.SetIterationTime(elapsed.count());
        micros.push_back(elapsed.count() * 1e6);
    }
    state.counters["median_us"] = Percentile(micros, 0.5);
    state.counters["p99_us"] = Percentile(micros, 0.99);
    state.counters["incomplete"] = incomplete;
}
BENCHMARK(BM_LineSwitchLatency)->UseManualTime()->Iterations(500)->Unit(benchmark::kMillisecond);

void BM_ConnectedIdleCpu(benchmark::State& state) {
    Station station;
    if (!station.rig->ok()) {
        state.SkipWithError(station.rig->error().toStdString().c_str());
        return;
    }
    station.live->Connect();
    const std::chrono::seconds idle(state.range(0));
    for (auto _ : state) {
        const double cpuBefore = ProcessCpuSeconds();
        const auto start = Clock::now();
        std::this_thread::sleep_for(idle);
        const std::chrono::duration<double> wall = Clock::now() - start;
        const double cpu = ProcessCpuSeconds() - cpuBefore;
        state.SetIterationTime(wall.count());
        state.counters["cpu_ms"] = cpu * 1e3;
        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall.count();
    }
    state.counters["worker_cycles"] = static_cast<double>(station.worker->Cycles());
}
BENCHMARK(BM_ConnectedIdleCpu)->Arg(10)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
