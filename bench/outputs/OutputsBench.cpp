// The outputs beside the card link:
// - line switch with and without the outputs on all three screens (a DDP
//   receiver each and a monitor window each, on a 1920 x 1080 offscreen
//   monitor): from rendering the line on the three screens (256 x 32,
//   32 x 256, 256 x 32, four simulated cards each on loopback) to the last
//   acknowledged SwapBuffer (`swap_*`, the card link's timing) and until the
//   windows have drawn and painted it too (`shown_*`); each ratio is the
//   median with the outputs over the median without, measured in turns on one
//   connected station;
// - DDP send time of one 2048 x 128 frame (786 432 bytes, 547 datagrams) to
//   one receiver on loopback: the pixel bytes, the packets and the sends.
#include "LoopbackRig.h"

#include "link/LedThread.h"
#include "link/LiveControl.h"
#include "outputs/DdpOutput.h"
#include "outputs/DdpPackets.h"
#include "outputs/DdpSocket.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"
#include "support/Pictures.h"
#include "ui/MonitorOutputs.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

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

// A loopback UDP port that reads and drops everything, as a wall would take it.
class DrainPort {
public:
    DrainPort() {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            char buffer[2048];
            while (!m_stop) {
                pollfd poller{m_fd, POLLIN, 0};
                if (::poll(&poller, 1, 20) > 0) {
                    ::recv(m_fd, buffer, sizeof buffer, 0);
                }
            }
        });
    }
    ~DrainPort() {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct ScreenSetup {
    ScreenId screen;
    int width;
    int height;
    int colour;
};
constexpr ScreenSetup kScreens[] = {
    {ScreenId::h, 256, 32, 1},
    {ScreenId::s, 32, 256, 1},
    {ScreenId::x, 256, 32, 0},
};
constexpr int kCardsPerScreen = 4;

struct Station {
    Station() {
        std::vector<SimCardSpec> cards;
        for (const ScreenSetup& s : kScreens) {
            TScreenParams& params = settings.ActiveSettings.screen(s.screen);
            params = TScreenParams{true, 1, s.width, s.height, s.colour, 0, 0, 1, 0};
            for (int i = 0; i < kCardsPerScreen; ++i) {
                SimCardSpec card = TestCard(ScreenNumber(s.screen) * 16 + i, s.screen);
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
            ddp.SetScreenSize(s.screen, s.width, s.height);
        }
        live = std::make_unique<LiveControl>(rig->link(), *worker, settings, op);
        renderer.SetFrameSink(worker.get());
    }
    ~Station() {
        renderer.SetLineObserver(nullptr);
        if (live) {
            live->Disconnect();
        }
        if (worker) {
            worker->SetFrameTap(nullptr);
        }
    }

    SettingsStore settings;
    QuietOperator op;
    QtRasteriser rasteriser;
    TextRenderer renderer{settings.ActiveSettings, rasteriser};
    MonitorOutputs monitors{rasteriser};
    DdpOutput ddp; // before the worker: outlives its senders
    std::unique_ptr<LoopbackRig> rig;
    std::unique_ptr<TLedThread> worker;
    std::unique_ptr<LiveControl> live;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// Lines as a show has them, in turn.
const QString kLines[] = {
    QStringLiteral("今晚的演出即将开始请关闭手机"),
    QStringLiteral("春眠不觉晓处处闻啼鸟"),
    QStringLiteral("夜来风雨声花落知多少"),
};

struct LineTimes {
    double swapped = -1; // the render to the last swap, microseconds; -1: a card missed it
    double shown = -1;   // and until the monitor windows have drawn and painted it
};

// One line on the three screens.
LineTimes OneLine(Station& station, int line) {
    TLedThread& worker = *station.worker;
    std::vector<long long> done;
    for (const ScreenSetup& s : kScreens) {
        done.push_back(worker.LastFrame(s.screen).frames + 1);
    }
    const auto start = Clock::now();
    for (const ScreenSetup& s : kScreens) {
        station.renderer.RenderSubtitle(s.screen, kLines[line % 3], kLines[(line + 1) % 3]);
    }
    bool complete = true;
    for (std::size_t i = 0; i < std::size(kScreens); ++i) {
        worker.WaitFramesDone(kScreens[i].screen, done[i], std::chrono::seconds(10));
        const FrameReport report = worker.LastFrame(kScreens[i].screen);
        complete = complete && report.frames >= done[i] && report.shown == report.cards;
    }
    const std::chrono::duration<double, std::micro> swapped = Clock::now() - start;
    // The queued drawing of the monitor windows, then their paint.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const std::chrono::duration<double, std::micro> shown = Clock::now() - start;
    if (!complete) {
        return {};
    }
    return {swapped.count(), shown.count()};
}

void BM_LineSwitchWithOutputs(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
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
    DrainPort walls[3];
    OutputSettings outputs;
    for (std::size_t i = 0; i < 3; ++i) {
        outputs.screen(kScreens[i].screen).ddp = {DdpReceiver{0x7F000001u, walls[i].port()}};
    }
    for (const ScreenSetup& s : kScreens) {
        outputs.screen(s.screen).monitor = QStringLiteral("1");
    }
    outputs.screen(ScreenId::x).layout = MonitorLayout::Confidence;
    station.ddp.SetOutputs(outputs);
    station.monitors.Apply(outputs);
    for (int i = 0; i < 10; ++i) {
        OneLine(station, i); // warm-up
    }
    for (auto _ : state) {
        std::vector<double> withoutSwap;
        std::vector<double> withSwap;
        std::vector<double> withoutShown;
        std::vector<double> withShown;
        int incomplete = 0;
        // In turns, so a change of the machine's load touches both alike.
        for (int i = 0; i < lines; ++i) {
            station.worker->SetFrameTap(nullptr);
            station.renderer.SetLineObserver(nullptr);
            const LineTimes a = OneLine(station, i);
            station.worker->SetFrameTap(&station.ddp);
            station.renderer.SetLineObserver(&station.monitors);
            const LineTimes b = OneLine(station, i);
            if (a.swapped < 0 || b.swapped < 0) {
                ++incomplete;
                continue;
            }
            withoutSwap.push_back(a.swapped);
            withSwap.push_back(b.swapped);
            withoutShown.push_back(a.shown);
            withShown.push_back(b.shown);
        }
        station.worker->SetFrameTap(nullptr);
        station.renderer.SetLineObserver(nullptr);
        state.SetIterationTime(Median(withSwap) / 1e6);
        // The card link's figure: the render to the last swap.
        state.counters["swap_without_ms"] = Median(withoutSwap) / 1e3;
        state.counters["swap_with_outputs_ms"] = Median(withSwap) / 1e3;
        state.counters["swap_ratio"] = Median(withSwap) / Median(withoutSwap);
        // Until every output shows the line (the windows drawn and painted).
        state.counters["shown_without_ms"] = Median(withoutShown) / 1e3;
        state.counters["shown_with_outputs_ms"] = Median(withShown) / 1e3;
        state.counters["shown_ratio"] = Median(withShown) / Median(withoutShown);
        state.counters["incomplete"] = incomplete;
        long long ddpFrames = 0;
        for (const ScreenSetup& s : kScreens) {
            ddpFrames += station.ddp.Report(s.screen).frames;
        }
        state.counters["ddp_frames"] = static_cast<double>(ddpFrames);
    }
}
BENCHMARK(BM_LineSwitchWithOutputs)
    ->Arg(100)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_DdpSend2048x128(benchmark::State& state) {
    DrainPort wall;
    DdpSocket socket;
    const std::vector<DdpReceiver> receivers{{0x7F000001u, wall.port()}};
    const QImage picture = NoisePicture(2048, 128, 3);
    int sequence = 0;
    int refused = 0;
    std::size_t packets = 0;
    for (auto _ : state) {
        sequence = ddp::NextSequence(sequence);
        const std::vector<QByteArray> frame =
            ddp::FramePackets(ddp::PixelBytes(picture, {}), sequence);
        refused += socket.Send(frame, receivers);
        packets = frame.size();
    }
    state.counters["packets"] = static_cast<double>(packets);
    state.counters["refused"] = refused;
    state.SetBytesProcessed(state.iterations() * 2048 * 128 * 3);
}
BENCHMARK(BM_DdpSend2048x128)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // The monitor windows need a desktop: one offscreen monitor of a
    // projector's size unless the caller chose a platform.
    QTemporaryFile config;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && config.open()) {
        config.write(R"({"screens": [{"name": "PROJECTOR", "x": 0, "y": 0, "width": 1920,
            "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        config.flush();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
