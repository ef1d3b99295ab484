// A fault soak of the live link: three screens, ten simulated cards on
// loopback, of which some lose replies, one dies in the middle of a frame and
// comes back, one acknowledges with wrong sequence bytes and one answers
// everything twice. Lines are rendered by the real renderer and handed to the
// worker as the main window does, one after the other at an operator's pace.
//
//   link_soak [--seconds N] [--check] [--timing]
//
// Reports the lines sent, the lines every healthy card showed intact (compared
// with the frame the renderer handed over), the longest time a line took on all
// three screens, the longest time the user-interface thread was kept from its
// events, and resident memory at start, after a warm-up and at the end. With
// --check the exit code is 1 when a healthy card lost a line, a line hung, or
// memory grew by more than 32 MB after the warm-up; with --timing also when
// the user-interface thread was held over 100 ms. The timing is a figure of
// an otherwise idle machine: the test suite's short soak runs on a shared,
// loaded one and checks only what no load can excuse.
#include "LiveTestSupport.h"
#include "LoopbackRig.h"

#include "support/ProcessMemory.h"

#include "link/LedThread.h"
#include "link/LiveControl.h"
#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class QuietOperator final : public OperatorInterface {
public:
    bool AskYesNo(const QString&) override { return false; }
    void Inform(const QString& text) override { messages << text; }
    void ShowError(const QString& text) override { messages << text; }
    QString ChooseOpenFile(const QString&, const QString&) override { return {}; }
    QString ChooseSaveFile(const QString&, const QString&) override { return {}; }
    std::optional<QString> AskText(const QString&, const QString&, const QString&, bool) override {
        return std::nullopt;
    }
    void SetStatus(const QString&) override {}
    void ProcessEvents() override { QCoreApplication::processEvents(); }
    QStringList messages;
};

// Hands frames on to the worker and keeps the last one of each screen: what
// the cards must show.
class RecordingSink final : public FrameSink {
public:
    explicit RecordingSink(FrameSink& next) : m_next(next) {}
    void LoadScreenBitmap(ScreenId screen, const QImage& frame,
                          const FrameEffect& effect) override {
        last[size_t(ScreenIndex(screen))] = frame;
        m_next.LoadScreenBitmap(screen, frame, effect);
    }
    void RequestFrame(ScreenId screen) override { m_next.RequestFrame(screen); }
    std::array<QImage, 3> last;

private:
    FrameSink& m_next;
};

struct SoakCard {
    SimCardSpec setup;
    bool healthy = true; // must show every line intact
    const char* role = "healthy";
};

struct ScreenSetup {
    ScreenId screen;
    int width; // as the audience sees it
    int height;
    int colour;
};
constexpr std::array<ScreenSetup, 3> kScreens{{
    {ScreenId::h, 256, 32, 1},
    {ScreenId::s, 32, 256, 1},
    {ScreenId::x, 192, 32, 0},
}};

std::vector<SoakCard> MakeCards() {
    std::vector<SoakCard> cards;
    int number = 1;
    const auto add = [&](ScreenId screen, const char* role, bool healthy, CardFaults faults) {
        const ScreenSetup& s = kScreens[size_t(ScreenIndex(screen))];
        const bool turned = screen == ScreenId::s;
        SimCardSpec setup = CardFor(number++, screen, turned ? s.height : s.width,
                                    turned ? s.width : s.height, 0, s.colour);
        setup.faults = faults;
        cards.push_back({setup, healthy, role});
    };
    add(ScreenId::h, "healthy", true, {});
    add(ScreenId::h, "loses 20%", true, CardFaults{20});
    add(ScreenId::h, "dies mid-frame", false, {});
    CardFaults twice;
    twice.duplicate = true;
    add(ScreenId::h, "answers twice", true, twice);
    add(ScreenId::s, "healthy", true, {});
    CardFaults wrongSeq;
    wrongSeq.wrongSeq = true;
    add(ScreenId::s, "wrong sequence bytes", false, wrongSeq);
    add(ScreenId::s, "loses 10%", true, CardFaults{10});
    add(ScreenId::x, "healthy", true, {});
    add(ScreenId::x, "loses 30%", true, CardFaults{30});
    add(ScreenId::x, "loses 15%", true, CardFaults{15});
    return cards;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--seconds"));
    const int seconds = at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : 600;
    const bool check = args.contains(QStringLiteral("--check"));
    const bool timing = args.contains(QStringLiteral("--timing"));

    std::vector<SoakCard> cards = MakeCards();
    std::vector<SimCardSpec> setups;
    for (const SoakCard& c : cards) {
        setups.push_back(c.setup);
    }
    LoopbackRig rig(setups, 7);
    if (!rig.ok()) {
        std::fprintf(stderr, "no loopback rig: %s\n", qPrintable(rig.error()));
        return 2;
    }
    // The simulated cards share the process: their command log must not be
    // what the memory figures measure.
    rig.bank().SetKeptLogLines(1000);
    SettingsStore settings;
    for (const ScreenSetup& s : kScreens) {
        TScreenParams& p = settings.ActiveSettings.screen(s.screen);
        p.ScreenKind = true;
        p.ScreenWidth = s.width;
        p.ScreenHeight = s.height;
        p.ScreenStyle = s.colour;
        std::vector<SimCardSpec> listed;
        for (const SoakCard& c : cards) {
            if (c.setup.screen == s.screen) {
                listed.push_back(c.setup);
            }
        }
        settings.cards(s.screen) = CardListOf(listed);
        settings.ActiveSettings.effect(s.screen).AutoSize = 1; // fit the screen
    }
    settings.StoredSettings.Link.Light = 9;

    TLedThread worker(rig.link());
    for (const ScreenSetup& s : kScreens) {
        worker.SetLinkScreenParams(s.screen, s.width, s.height, s.colour, 0, 0, 1);
    }
    QuietOperator op;
    LiveControl live(rig.link(), worker, settings, op);
    QtRasteriser rasteriser;
    TextRenderer renderer(settings.ActiveSettings, rasteriser);
    RecordingSink sink(worker);
    renderer.SetFrameSink(&sink);

    // The user-interface thread's pulse: a 10 ms timer whose lateness shows
    // any wait on the link.
    QElapsedTimer pulseClock;
    long long longestGapMs = 0;
    long long lastPulse = 0;
    QTimer pulse;
    pulse.setInterval(10);
    QObject::connect(&pulse, &QTimer::timeout, [&] {
        const long long now = pulseClock.elapsed();
        longestGapMs = std::max(longestGapMs, now - lastPulse);
        lastPulse = now;
    });
    // Runs the event loop for a while, asleep between events as a window is.
    const auto runEventsFor = [&](std::chrono::milliseconds span) {
        QEventLoop loop;
        QTimer::singleShot(span, &loop, &QEventLoop::quit);
        loop.exec();
    };

    const long long rssStart = ResidentKiB();
    live.Connect();
    pulseClock.start();
    lastPulse = 0;
    pulse.start();

    static const QStringList kTexts{
        QStringLiteral("江畔何人初见月"),     QStringLiteral("江月何年初照人"),
        QStringLiteral("人生代代无穷已"),     QStringLiteral("第二场 将进酒"),
        QStringLiteral("ACT II — The Storm"), QStringLiteral("谢谢观看 Thank you")};
    std::mt19937 random(11);
    const size_t dying = 2; // index in cards
    long long lines = 0;
    long long intactLines = 0;
    long long hungLines = 0;
    long long longestLineMs = 0;
    long long uiCallMaxUs = 0;
    std::vector<long long> cardMisses(cards.size(), 0);
    long long rssPeak = rssStart;
    // Caches (fonts, frame stores, card memories) fill during the first lines;
    // growth is measured from there.
    constexpr long long kWarmUpLines = 10;
    long long rssWarm = -1;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        ++lines;
        // The dying card stops in the middle of every twentieth line's
        // transfer and answers again five lines later.
        if (lines % 20 == 1) {
            CardFaults dead;
            dead.stopAfterSlices = 3;
            rig.bank().SetFaults(cards[dying].setup.mac, dead);
        } else if (lines % 20 == 6) {
            rig.bank().SetFaults(cards[dying].setup.mac, {});
        }
        const QString row1 = kTexts[random() % kTexts.size()] + QString::number(lines);
        const QString row2 = kTexts[random() % kTexts.size()];
        std::array<long long, 3> before{};
        for (const ScreenSetup& s : kScreens) {
            before[size_t(ScreenIndex(s.screen))] = worker.LastFrame(s.screen).frames;
        }
        const auto start = Clock::now();
        for (const ScreenSetup& s : kScreens) {
            renderer.RenderSubtitle(s.screen, row1, row2);
        }
        uiCallMaxUs = std::max<long long>(
            uiCallMaxUs,
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
        bool done = false;
        while (!done && Clock::now() - start < std::chrono::seconds(30)) {
            runEventsFor(std::chrono::milliseconds(5));
            done = std::all_of(kScreens.begin(), kScreens.end(), [&](const ScreenSetup& s) {
                return worker.LastFrame(s.screen).frames > before[size_t(ScreenIndex(s.screen))];
            });
        }
        const long long took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        longestLineMs = std::max(longestLineMs, took);
        if (!done) {
            ++hungLines;
            continue;
        }
        bool intact = true;
        for (size_t i = 0; i < cards.size(); ++i) {
            if (!cards[i].healthy) {
                continue;
            }
            const ScreenSetup& s = kScreens[size_t(ScreenIndex(cards[i].setup.screen))];
            const ColourKind kind = s.colour == 0 ? ColourKind::Single : ColourKind::Dual;
            const QImage expected = Thresholded(sink.last[size_t(ScreenIndex(s.screen))], kind);
            if (rig.bank().Displayed(cards[i].setup.mac) != expected) {
                ++cardMisses[i];
                intact = false;
            }
        }
        intactLines += intact ? 1 : 0;
        rssPeak = std::max(rssPeak, ResidentKiB());
        if (lines == kWarmUpLines) {
            rssWarm = ResidentKiB();
        }
        // An operator's pace: the next line a little later.
        runEventsFor(std::chrono::milliseconds(100 + random() % 200));
    }
    pulse.stop();
    live.Disconnect();
    const long long rssEnd = ResidentKiB();

    std::printf(
        "soak of %d s: %lld lines sent, %lld shown intact by every healthy card, %lld hung\n",
        seconds, lines, intactLines, hungLines);
    std::printf("longest line on all three screens: %lld ms\n", longestLineMs);
    std::printf("user-interface thread: longest gap between 10 ms pulses %lld ms, longest "
                "render and hand-over %lld us\n",
                longestGapMs, uiCallMaxUs);
    if (rssWarm < 0) {
        rssWarm = rssEnd;
    }
    std::printf("resident memory: start %.1f MB, after %lld lines %.1f MB, peak %.1f MB, end "
                "%.1f MB\n",
                rssStart / 1024.0, kWarmUpLines, rssWarm / 1024.0, rssPeak / 1024.0,
                rssEnd / 1024.0);
    for (size_t i = 0; i < cards.size(); ++i) {
        const std::optional<CardState> state = rig.bank().Card(cards[i].setup.mac);
        std::printf("  card %s screen %c (%s): %d swaps, %lld slices, brightness %d, %lld "
                    "lines missed\n",
                    qPrintable(MacText(cards[i].setup.mac)), ScreenLetter(cards[i].setup.screen),
                    cards[i].role, state ? state->swaps : -1, state ? state->dataSlices : -1,
                    state ? state->brightness : -1, cardMisses[i]);
    }
    if (!op.messages.isEmpty()) {
        std::printf("operator messages: %s\n", qPrintable(op.messages.join(QStringLiteral(" | "))));
    }
    if (!check) {
        return 0;
    }
    const bool ok = lines > 0 && intactLines == lines && hungLines == 0 &&
                    (!timing || longestGapMs <= 100) && rssEnd - rssWarm <= 32 * 1024;
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}
