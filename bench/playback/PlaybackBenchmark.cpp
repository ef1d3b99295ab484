// The meter work of one 100 ms heartbeat, and what decoding costs.

#include "BenchTracks.h"

#include "playback/AudioClock.h"
#include "playback/Mp3AudioEngine.h"
#include "playback/Spectrum.h"
#include "playback/TrackOperations.h"
#include "playback/Volume.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

struct Bench {
    QTemporaryDir dir;
    QString track = MakeBenchTrack(dir.path(), 30.0);
};

Bench& Shared() {
    static Bench bench;
    return bench;
}

// Both meters drawn from the engine's FFT and level, as the heartbeat does.
void DrawMeters(Mp3AudioEngine& engine, AudioTrack& track, TSpectrum& spectrum, TVolume& volume,
                PlayerState state) {
    const qint64 p = TrackSeconds(engine, track);
    ReadTrackSpectrum(engine, track);
    spectrum.Draw(track.spectrum, state, p, track.duration);
    const LevelPercents levels = ReadTrackLevels(engine, track, p);
    volume.Draw(levels.left, levels.right, state);
    benchmark::DoNotOptimize(spectrum.frame().constBits());
    benchmark::DoNotOptimize(volume.frame().constBits());
}

// The meters alone: a paused stream, so no decoding is involved.
void BM_HeartbeatMeters(benchmark::State& state) {
    auto clock = std::make_shared<ManualAudioClock>();
    Mp3AudioEngine engine(nullptr, clock);
    AudioTrack track;
    if (!OpenTrack(engine, track, Shared().track)) {
        state.SkipWithError("no track (is lame installed?)");
        return;
    }
    engine.Play(track.stream, true);
    clock->AdvanceMilliseconds(5000);
    engine.Pause(track.stream);
    TSpectrum spectrum(162, 70);
    TVolume volume(22, 70);
    for (auto _ : state) {
        DrawMeters(engine, track, spectrum, volume, PlayerState::Paused);
    }
}
BENCHMARK(BM_HeartbeatMeters)->Unit(benchmark::kMicrosecond);

// A whole heartbeat on the silent output: 100 ms of audio decoded on the way.
void BM_HeartbeatWithDecoding(benchmark::State& state) {
    auto clock = std::make_shared<ManualAudioClock>();
    Mp3AudioEngine engine(nullptr, clock);
    AudioTrack track;
    if (!OpenTrack(engine, track, Shared().track)) {
        state.SkipWithError("no track (is lame installed?)");
        return;
    }
    engine.Play(track.stream, true);
    TSpectrum spectrum(162, 70);
    TVolume volume(22, 70);
    for (auto _ : state) {
        clock->AdvanceMilliseconds(100);
        if (engine.Activity(track.stream) != ChannelActivity::Playing) {
            engine.Play(track.stream, true);
        }
        DrawMeters(engine, track, spectrum, volume, PlayerState::Playing);
    }
}
BENCHMARK(BM_HeartbeatWithDecoding)->Unit(benchmark::kMicrosecond);

// Decoding one second of a 192 kbit/s track: the time divided by a second
// is the decoder's share of one core while it plays.
void BM_DecodeOneSecond(benchmark::State& state) {
    auto clock = std::make_shared<ManualAudioClock>();
    Mp3AudioEngine engine(nullptr, clock);
    AudioTrack track;
    if (!OpenTrack(engine, track, Shared().track)) {
        state.SkipWithError("no track (is lame installed?)");
        return;
    }
    engine.Play(track.stream, true);
    for (auto _ : state) {
        // Ten heartbeats' worth, so the silent output decodes rather than seeks.
        for (int i = 0; i < 10; ++i) {
            clock->AdvanceMilliseconds(100);
            if (engine.Activity(track.stream) != ChannelActivity::Playing) {
                engine.Play(track.stream, true);
            }
        }
    }
}
BENCHMARK(BM_DecodeOneSecond)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
