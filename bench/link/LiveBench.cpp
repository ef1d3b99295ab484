// The live link with simulated cards on loopback:
// - line-switch latency: from RequestFrame on the three screens to the last
//   acknowledged SwapBuffer (horizontal 256 x 32 dual colour, vertical 32 x 256
//   dual colour, small 256 x 32 single colour, four cards each), at a card
//   reply delay of 0 and 1 ms, beside the same figures for the slowest screen
//   alone (each screen is measured alone, the slowest is reported), and beside
//   one card alone (the horizontal screen with only its first card listed):
//   the floor, one card's round trips;
// - swap skew: per line, from the first to the last SwapBuffer the twelve
//   cards took and answered (every card answers after the same delay, so the
//   acknowledgements are as far apart);
// - the whole process's CPU time while connected and idle for 10 s.
#include "LoopbackRig.h"

#include "link/LedThread.h"
#include "link/LiveControl.h"
#include "support/Pictures.h"

#include <QImage>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
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

// When the cards took their SwapBuffers, from the bank's log as it is written.
class SwapClock {
public:
    void Attach(CardBank& bank) {
        bank.SetKeptLogLines(1000);
        bank.SetLogSink([this](const QString& line) {
            // Only a shown frame's swap: ignored or refused ones read differently.
            if (line.contains(QLatin1String(" SwapBuffer effect "))) {
                const auto now = Clock::now();
                {
                    std::lock_guard lock(m_mutex);
                    m_times.push_back(now);
                }
                m_changed.notify_all();
            }
        });
    }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_times.clear();
    }
    // A card logs its swap after answering it, so the station may be done first.
    bool WaitFor(std::size_t swaps, std::chrono::milliseconds limit) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_times.size() >= swaps; });
    }
    // First to last swap since Clear, in microseconds; and how many there were.
    std::pair<double, std::size_t> Skew() const {
        std::lock_guard lock(m_mutex);
        if (m_times.empty()) {
            return {0.0, 0};
        }
        const auto [first, last] = std::minmax_element(m_times.begin(), m_times.end());
        const std::chrono::duration<double, std::micro> skew = *last - *first;
        return {skew.count(), m_times.size()};
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Clock::time_point> m_times;
};

struct LineFigures {
    std::vector<double> latencyUs;
    std::vector<double> skewUs;
    int incomplete = 0; // lines where a card did not show the frame
    double Median() const { return Percentile(latencyUs, 0.5); }
};

// Sends `lines` lines to `screens` (alternating two pictures, so every frame
// changes every plane) and measures each from the requests to the last swap.
LineFigures RunLines(Station& station, SwapClock& swaps, const std::vector<ScreenId>& screens,
                     int lines) {
    TLedThread& worker = *station.worker;
    const QImage frames[2] = {NoisePicture(256, 32, 1), NoisePicture(256, 32, 2)};
    LineFigures figures;
    for (int line = 0; line < lines; ++line) {
        std::vector<long long> done;
        for (ScreenId screen : screens) {
            done.push_back(worker.LastFrame(screen).frames + 1);
        }
        swaps.Clear();
        const auto start = Clock::now();
        for (ScreenId screen : screens) {
            worker.LoadScreenBitmap(screen, frames[line % 2], {});
            worker.RequestFrame(screen);
        }
        bool complete = true;
        std::size_t expected = 0; // swaps: one per listed card
        for (std::size_t i = 0; i < screens.size(); ++i) {
            worker.WaitFramesDone(screens[i], done[i], std::chrono::seconds(10));
            const FrameReport report = worker.LastFrame(screens[i]);
            complete = complete && report.frames >= done[i] && report.shown == report.cards;
            expected += static_cast<std::size_t>(report.cards);
        }
        const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
        figures.latencyUs.push_back(elapsed.count());
        complete = swaps.WaitFor(expected, std::chrono::seconds(1)) && complete;
        const auto [skew, count] = swaps.Skew();
        figures.skewUs.push_back(skew);
        if (!complete || count != expected) {
            ++figures.incomplete;
        }
    }
    return figures;
}

// One run per card reply delay (milliseconds): each screen alone, then the
// three together, on one connected station.
void BM_LineSwitchLatency(benchmark::State& state) {
    const int delayMs = static_cast<int>(state.range(0));
    const int lines = static_cast<int>(state.range(1));
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
    CardBank& bank = station.rig->bank();
    for (const MacAddress& mac : bank.Macs()) {
        CardFaults faults;
        faults.delayMs = delayMs;
        bank.SetFaults(mac, faults);
    }
    SwapClock swaps;
    swaps.Attach(bank);
    std::vector<ScreenId> all;
    for (const ScreenSetup& s : kScreens) {
        all.push_back(s.screen);
    }
    RunLines(station, swaps, all, 10); // warm-up

    for (auto _ : state) {
        LineFigures slowest;
        int slowestScreen = -1;
        for (const ScreenSetup& s : kScreens) {
            LineFigures alone = RunLines(station, swaps, {s.screen}, lines);
            if (slowestScreen < 0 || alone.Median() > slowest.Median()) {
                slowest = std::move(alone);
                slowestScreen = ScreenIndex(s.screen);
            }
        }
        // The floor: one card alone on the horizontal screen (dual colour,
        // 8 slices and a swap, like the vertical screen's cards).
        station.worker->SetCardList(ScreenId::h, {station.settings.cards(ScreenId::h).front()});
        const LineFigures oneCard = RunLines(station, swaps, {ScreenId::h}, lines);
        station.worker->SetCardList(ScreenId::h, station.settings.cards(ScreenId::h));
        const LineFigures together = RunLines(station, swaps, all, lines);
        state.SetIterationTime(together.Median() / 1e6);

        state.counters["median_ms"] = together.Median() / 1e3;
        state.counters["p99_ms"] = Percentile(together.latencyUs, 0.99) / 1e3;
        state.counters["alone_median_ms"] = slowest.Median() / 1e3;
        state.counters["alone_p99_ms"] = Percentile(slowest.latencyUs, 0.99) / 1e3;
        state.counters["alone_screen"] = slowestScreen; // 0 horizontal, 1 vertical, 2 small
        state.counters["median_vs_alone"] = together.Median() / slowest.Median();
        state.counters["p99_vs_alone"] =
            Percentile(together.latencyUs, 0.99) / Percentile(slowest.latencyUs, 0.99);
        state.counters["one_card_median_ms"] = oneCard.Median() / 1e3;
        state.counters["one_card_p99_ms"] = Percentile(oneCard.latencyUs, 0.99) / 1e3;
        state.counters["median_vs_one_card"] = together.Median() / oneCard.Median();
        state.counters["skew_median_ms"] = Percentile(together.skewUs, 0.5) / 1e3;
        state.counters["skew_p99_ms"] = Percentile(together.skewUs, 0.99) / 1e3;
        state.counters["incomplete"] =
            together.incomplete + slowest.incomplete + oneCard.incomplete;
    }
    bank.SetLogSink({});
}
BENCHMARK(BM_LineSwitchLatency)
    ->ArgNames({"delay_ms", "lines"})
    ->Args({0, 500})
    ->Args({1, 200})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

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
