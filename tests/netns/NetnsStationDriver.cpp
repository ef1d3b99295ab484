// The station's side of the namespace test: the link exactly as a show runs it
// (no link options: every address of the host, broadcast to 255.255.255.255,
// the real ports), driven through the worker thread and the live commands.
// Run only inside a network namespace made for the test; it prints one
// "key=value" line per finding and "result=done" at the end.
//
//   netns_station_driver sequence [h] [s] [x]
//       with the named screens in use: search every screen and list what was
//       found, connect, render a line on each screen, step the brightness,
//       disconnect
//   netns_station_driver flap IFACE ADDRESS/PREFIX MAC
//       take the address off IFACE (as a replugged cable or a renewed lease
//       does for a moment), send Connect to the horizontal card with the
//       connect budget, and give the address back once a send was refused

#include "link/LedThread.h"
#include "link/LiveControl.h"
#include "link/StationLink.h"

#include "render/QtRasteriser.h"
#include "render/TextRenderer.h"

#include <QGuiApplication>
#include <QProcess>

#include <chrono>
#include <cstdio>
#include <set>
#include <thread>

using namespace std::chrono_literals;

namespace {

void Print(const QString& key, const QString& value) {
    std::printf("%s=%s\n", key.toUtf8().constData(), value.toUtf8().constData());
    std::fflush(stdout);
}

void Print(const QString& key, long long value) {
    Print(key, QString::number(value));
}

QString Letter(ScreenId screen) {
    return QString(QLatin1Char(ScreenLetter(screen)));
}

// Records what the operator would have been told; nothing waits for an answer.
class LoggingOperator final : public OperatorInterface {
public:
    bool AskYesNo(const QString& text) override {
        Print(QStringLiteral("ask"), text);
        return false;
    }
    void Inform(const QString& text) override {
        ++informs;
        Print(QStringLiteral("inform"), text);
    }
    void ShowError(const QString& text) override { Print(QStringLiteral("error"), text); }
    QString ChooseOpenFile(const QString&, const QString&) override { return {}; }
    QString ChooseSaveFile(const QString&, const QString&) override { return {}; }
    std::optional<QString> AskText(const QString&, const QString&, const QString&, bool) override {
        return std::nullopt;
    }
    void SetStatus(const QString& text) override { Print(QStringLiteral("status"), text); }

    int informs = 0;
};

void PrintLinkState(StationLink& link, const QString& when) {
    for (ScreenId screen : kAllScreens) {
        ScreenLink& side = link.screen(screen);
        QStringList bound;
        for (const Ipv4Address& address : side.BoundAddresses()) {
            bound << address.toString();
        }
        const QString suffix = when + QLatin1Char('_') + Letter(screen);
        Print(QStringLiteral("bound_") + suffix, bound.join(QLatin1Char(',')));
        Print(QStringLiteral("hears_broadcasts_") + suffix, side.HearsBroadcasts() ? 1 : 0);
    }
}

void PrintStats(StationLink& link) {
    for (ScreenId screen : kAllScreens) {
        const ListenerStats stats = link.screen(screen).stats();
        const QString letter = Letter(screen);
        Print(QStringLiteral("received_") + letter, stats.received);
        Print(QStringLiteral("broadcasts_heard_") + letter, stats.broadcastsHeard);
        Print(QStringLiteral("matched_") + letter, stats.matched);
        Print(QStringLiteral("own_ignored_") + letter, stats.ownIgnored);
        Print(QStringLiteral("send_failures_") + letter, stats.sendFailures);
    }
}

int RunSequence(const std::set<ScreenId>& inUse) {
    StationLink link{LinkConfig{}};
    TLedThread worker(link);
    SettingsStore settings;
    LoggingOperator op;
    for (ScreenId screen : kAllScreens) {
        TScreenParams& params = settings.ActiveSettings.screen(screen);
        params.ScreenKind = inUse.count(screen) != 0;
        params.ScreenStyle = 1;
        // Every simulated card is 256 x 32; the vertical screen stands on its side.
        params.ScreenWidth = screen == ScreenId::s ? 32 : 256;
        params.ScreenHeight = screen == ScreenId::s ? 256 : 32;
        settings.ActiveSettings.effect(screen).AutoSize = 1;
        worker.SetLinkScreenParams(screen, params.ScreenWidth, params.ScreenHeight,
                                   params.ScreenStyle, params.ScanStyle, params.DataPol,
                                   params.OePol);
    }

    // Discovery first, as the operator fills the card lists before a show.
    for (ScreenId screen : kAllScreens) {
        const CardList found = link.Search(screen);
        QStringList ids;
        for (const CardEntry& entry : found) {
            ids << entry.id.mid(4, 17);
        }
        Print(QStringLiteral("search_") + Letter(screen), ids.join(QLatin1Char(',')));
        settings.cards(screen) = found;
    }

    LiveControl live(link, worker, settings, op);
    live.Connect();
    Print(QStringLiteral("connected"), live.IsConnected() ? 1 : 0);
    Print(QStringLiteral("connect_informs"), op.informs);
    PrintLinkState(link, QStringLiteral("connected"));
    for (ScreenId screen : kAllScreens) {
        int online = 0;
        for (int i = 0; i < static_cast<int>(settings.cards(screen).size()); ++i) {
            online += worker.cardOnline().get(screen, i) ? 1 : 0;
        }
        Print(QStringLiteral("online_") + Letter(screen), online);
    }

    QtRasteriser rasteriser;
    TextRenderer renderer(settings.ActiveSettings, rasteriser);
    renderer.SetFrameSink(&worker);
    for (ScreenId screen : kAllScreens) {
        if (inUse.count(screen) != 0) {
            renderer.RenderSubtitle(screen, QStringLiteral("今晚演出"), {});
        }
    }
    for (ScreenId screen : kAllScreens) {
        if (inUse.count(screen) == 0) {
            continue;
        }
        const bool done = worker.WaitFramesDone(screen, 1, 10s);
        const FrameReport report = worker.LastFrame(screen);
        Print(QStringLiteral("frame_") + Letter(screen),
              QStringLiteral("%1/%2").arg(done ? report.shown : -1).arg(report.cards));
    }

    live.StepBrightness();
    const bool idle = worker.WaitUntilIdle(10s);
    Print(QStringLiteral("brightness"), idle ? live.BrightnessLevel() : -1);

    live.Disconnect();
    Print(QStringLiteral("connected_after_disconnect"), live.IsConnected() ? 1 : 0);
    for (ScreenId screen : kAllScreens) {
        int online = 0;
        for (int i = 0; i < static_cast<int>(settings.cards(screen).size()); ++i) {
            online += worker.cardOnline().get(screen, i) ? 1 : 0;
        }
        Print(QStringLiteral("online_after_disconnect_") + Letter(screen), online);
    }
    PrintLinkState(link, QStringLiteral("disconnected"));
    PrintStats(link);
    worker.Terminate();
    return 0;
}

bool ChangeAddress(const char* change, const QString& address, const QString& interfaceName) {
    return QProcess::execute(QStringLiteral("ip"),
                             {QStringLiteral("address"), QLatin1String(change), address,
                              QStringLiteral("dev"), interfaceName}) == 0;
}

int RunFlap(const QString& interfaceName, const QString& address, const QString& macText) {
    const auto mac = ParseMacText(macText);
    if (!mac) {
        std::fprintf(stderr, "not a MAC: %s\n", macText.toUtf8().constData());
        return 2;
    }
    StationLink link{LinkConfig{}};
    ScreenLink& h = link.screen(ScreenId::h);
    if (!h.Activate()) {
        return 2;
    }
    PrintLinkState(link, QStringLiteral("flap"));
    // The binding stays bound to the address while it is gone; sends through
    // it are refused (no route) until the address is back.
    if (!ChangeAddress("del", address, interfaceName)) {
        return 2;
    }
    // The address comes back a moment after the first refused send, while the
    // exchange is still within its budget.
    bool upAgain = false;
    std::thread restore([&] {
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (h.stats().sendFailures == 0 && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(1ms);
        }
        std::this_thread::sleep_for(150ms);
        upAgain = ChangeAddress("add", address, interfaceName);
    });
    const auto start = std::chrono::steady_clock::now();
    const bool answered = h.Transact(link.commands().Connect(*mac), LinkBudgets::kConnectSequence);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    restore.join();
    Print(QStringLiteral("flap_up_again"), upAgain ? 1 : 0);
    Print(QStringLiteral("flap_answered"), answered ? 1 : 0);
    Print(QStringLiteral("flap_elapsed_ms"),
          std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
    PrintStats(link);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    int status = 2;
    if (args.size() >= 1 && args[0] == QLatin1String("sequence")) {
        std::set<ScreenId> inUse;
        for (ScreenId screen : kAllScreens) {
            if (args.contains(Letter(screen))) {
                inUse.insert(screen);
            }
        }
        status = RunSequence(inUse);
    } else if (args.size() == 4 && args[0] == QLatin1String("flap")) {
        status = RunFlap(args[1], args[2], args[3]);
    } else {
        std::fprintf(
            stderr,
            "usage: netns_station_driver sequence [h] [s] [x] | flap IFACE ADDRESS/PREFIX MAC\n");
    }
    if (status == 0) {
        Print(QStringLiteral("result"), QStringLiteral("done"));
    }
    return status;
}
