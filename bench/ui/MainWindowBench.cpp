// The main window against simulated cards on loopback:
// - Enter pressed in the line list to the preview repainted and the frame
//   handed to the worker (all of it happens inside the key's handling);
// - the whole process's CPU time while connected and idle for 10 s.

#include "ConnectedShow.h"

#include <QApplication>
#include <QTest>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// A station shown with one playlist of long scripts, connected to four
// simulated cards of the horizontal screen.
struct ConnectedStation : ConnectedShow {
    ConnectedStation() : ConnectedShow(4, 20, 400) {}
};

void BM_EnterToFrameHandedOver(benchmark::State& state) {
    ConnectedStation station;
    std::vector<double> millis;
    for (auto _ : state) {
        if (station.window->player().selectedLine() + 1 >= station.list->model()->rowCount()) {
            station.list->setCurrentIndex(station.list->model()->index(0, 1));
        }
        const long long framesBefore = station.window->worker().LastFrame(ScreenId::h).frames;
        const auto start = std::chrono::steady_clock::now();
        QTest::keyClick(station.list, Qt::Key_Return);
        const auto handed = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(handed - start).count();
        state.SetIterationTime(seconds);
        millis.push_back(seconds * 1000.0);
        // Let the worker finish this line on the cards before the next key,
        // as an operator's pace would.
        station.window->worker().WaitFramesDone(ScreenId::h, framesBefore + 1,
                                                std::chrono::seconds(5));
        QCoreApplication::processEvents();
    }
    std::sort(millis.begin(), millis.end());
    state.counters["median_ms"] = millis[millis.size() / 2];
    state.counters["p99_ms"] = millis[std::min(millis.size() - 1, millis.size() * 99 / 100)];
}
BENCHMARK(BM_EnterToFrameHandedOver)
    ->UseManualTime()
    ->Iterations(500)
    ->Unit(benchmark::kMillisecond);

void BM_ConnectedIdleCpu(benchmark::State& state) {
    ConnectedStation station;
    QTest::qWait(500); // the connect's line is sent and the worker sleeps
    for (auto _ : state) {
        const double before = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        QTest::qWait(static_cast<int>(state.range(0)) * 1000);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = ProcessCpuSeconds() - before;
        state.SetIterationTime(wall);
        state.counters["cpu_ms"] = cpu * 1000.0;
        state.counters["core_percent"] = 100.0 * cpu / wall;
    }
}
BENCHMARK(BM_ConnectedIdleCpu)->Arg(10)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
