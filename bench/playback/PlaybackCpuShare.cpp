// Plays a track for a few seconds the way the station does (the default
// output, a 100 ms heartbeat drawing both meters) and prints the process's
// CPU time as a share of the time played.
//
//   playback_cpu_share [seconds] [file.mp3]

#include "BenchTracks.h"

#include "playback/Mp3AudioEngine.h"
#include "playback/Spectrum.h"
#include "playback/TrackOperations.h"
#include "playback/Volume.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace {

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const double seconds = args.size() > 1 ? args[1].toDouble() : 5.0;
    QTemporaryDir dir;
    const QString path = args.size() > 2 ? args[2] : MakeBenchTrack(dir.path(), seconds + 2.0);

    std::unique_ptr<Mp3AudioEngine> engine = Mp3AudioEngine::CreateDefault();
    AudioTrack track;
    if (!OpenTrack(*engine, track, path)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 1;
    }
    TSpectrum spectrum(162, 70);
    TVolume volume(22, 70);
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    engine->Play(track.stream, true);
    auto next = start;
    int beats = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds) &&
           engine->Activity(track.stream) != ChannelActivity::Stopped) {
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
        const qint64 p = TrackSeconds(*engine, track);
        ReadTrackSpectrum(*engine, track);
        spectrum.Draw(track.spectrum, PlayerState::Playing, p, track.duration);
        const LevelPercents levels = ReadTrackLevels(*engine, track, p);
        volume.Draw(levels.left, levels.right, PlayerState::Playing);
        ++beats;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double played = BytesToSecondsOfPcm(engine->PositionBytes(track.stream));
    std::printf("output: %s\n",
                engine->UsesSilentOutput() ? "silent (no audio device)" : "sound card");
    std::printf("played %.2f s of audio in %.2f s, %d heartbeats\n", played, wall, beats);
    std::printf("process CPU %.3f s = %.2f %% of one core\n", cpu, 100.0 * cpu / wall);
    return 0;
}
