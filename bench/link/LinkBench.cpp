#include "LoopbackRig.h"

#include "link/FrameEncoding.h"
#include "link/StationLink.h"

#include <QImage>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>

namespace {

QImage Noise(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    std::mt19937 random(17);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* px = image.scanLine(y);
        for (int i = 0; i < 3 * width; ++i) {
            px[i] = static_cast<std::uint8_t>(random());
        }
    }
    return image;
}

void EncodeLive(benchmark::State& state, int width, int height, ColourKind kind, int n) {
    const QImage frame = Noise(width, height);
    FrameStore store;
    EncodeLiveFrame(frame, kind, n, store); // the store is sized once, as on the worker
    for (auto _ : state) {
        EncodeLiveFrame(frame, kind, n, store);
        benchmark::DoNotOptimize(store.Plane(1).data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}

void BM_EncodeLiveFrame_512x32_Dual(benchmark::State& state) {
    EncodeLive(state, 512, 32, ColourKind::Dual, 16);
}
BENCHMARK(BM_EncodeLiveFrame_512x32_Dual);

void BM_EncodeLiveFrame_2048x128_Full(benchmark::State& state) {
    EncodeLive(state, 2048, 128, ColourKind::Full, 16);
}
BENCHMARK(BM_EncodeLiveFrame_2048x128_Full);

void BM_EncodeOfflineFrame_512x32_Dual(benchmark::State& state) {
    const QImage frame = Noise(512, 32);
    std::vector<std::uint8_t> buffer;
    EncodeOfflineFrame(frame, ColourKind::Dual, buffer);
    for (auto _ : state) {
        benchmark::DoNotOptimize(EncodeOfflineFrame(frame, ColourKind::Dual, buffer));
    }
}
BENCHMARK(BM_EncodeOfflineFrame_512x32_Dual);

// One WriteData slice to a simulated card on loopback and back: build, send,
// the card's handling, the reply, the listener's match and the sender's wake-up.
void BM_WriteDataSliceRoundTrip(benchmark::State& state) {
    const SimCardSpec card = TestCard(1);
    LoopbackRig rig({card});
    if (!rig.ok()) {
        state.SkipWithError(rig.error().toStdString().c_str());
        return;
    }
    ScreenLink& h = rig.link().screen(ScreenId::h);
    CommandBuffer& commands = rig.link().commands();
    const std::vector<std::uint8_t> slice(1024, 0x5A);
    std::vector<double> micros;
    micros.reserve(100000);
    std::uint16_t unit = 0;
    long long failures = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!h.Transact(commands.WriteData(card.mac, unit, slice), LinkBudgets::kFrameSlice)) {
            ++failures;
        }
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
        unit = static_cast<std::uint16_t>((unit + 4) % 200);
    }
    std::sort(micros.begin(), micros.end());
    if (!micros.empty()) {
        state.counters["median_us"] = micros[micros.size() / 2];
        state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    }
    state.counters["failures"] = static_cast<double>(failures);
}
BENCHMARK(BM_WriteDataSliceRoundTrip)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
