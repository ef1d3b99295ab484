// led-card-sim: a bank of simulated LED controller cards on the card ports, for
// trying the station and its tools without hardware.

#include "BankConfig.h"
#include "CardBank.h"
#include "DdpScreen.h"
#include "DdpView.h"
#include "LedWall.h"

#include "StationVersion.h"

#include "link/LinkConfig.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QTextStream>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>

namespace {

int Fail(const QString& message) {
    std::fprintf(stderr, "led-card-sim: %s\n", message.toLocal8Bit().constData());
    return 2;
}

// The window needs a QApplication before the options are parsed; without it
// the simulator stays a console program that runs without a display.
bool WantsWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--window") == 0) {
            return true;
        }
    }
    return false;
}

struct WindowGeometry {
    QSize size;
    std::optional<QPoint> position;
};

// "WxH" or "WxH+X+Y", as X11 programs take it (without negative offsets).
std::optional<WindowGeometry> ParseWindowGeometry(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{1,5})x([0-9]{1,5})(?:\\+([0-9]{1,5})\\+([0-9]{1,5}))?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    WindowGeometry geometry;
    geometry.size = QSize(match.captured(1).toInt(), match.captured(2).toInt());
    if (geometry.size.width() < 1 || geometry.size.height() < 1) {
        return std::nullopt;
    }
    if (match.hasCaptured(3)) {
        geometry.position = QPoint(match.captured(3).toInt(), match.captured(4).toInt());
    }
    return geometry;
}

} // namespace

int main(int argc, char** argv) {
    // Signals are taken synchronously by the main thread; block them before any
    // thread starts so none of the receive threads gets them.
    sigset_t handledSignals;
    sigemptyset(&handledSignals);
    sigaddset(&handledSignals, SIGINT);
    sigaddset(&handledSignals, SIGTERM);
    sigaddset(&handledSignals, SIGHUP);
    sigaddset(&handledSignals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &handledSignals, nullptr);

    std::unique_ptr<QCoreApplication> application;
    if (WantsWindow(argc, argv)) {
        application = std::make_unique<QApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication& app = *application;
    QCoreApplication::setApplicationName(QStringLiteral("led-card-sim"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kStationVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated LED controller cards: answer the station's commands on the card "
                       "ports 60001-60003 (plus an offset), keep display memory, flash and the "
                       "parameter block, and show what each card displays.\n\n") +
        BankConfigHelp() +
        QStringLiteral("\nOutputs: every command is logged (stdout or --log). With --out, each "
                       "card's displayed picture (<MAC>.png) and flash (<MAC>.flash.bin) are "
                       "written on SIGUSR1 and at exit.\n"
                       "Only loopback addresses are used unless --allow-non-loopback is given."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption bindOption(QStringLiteral("bind"),
                                        QStringLiteral("Address to listen on (default 127.0.0.1)."),
                                        QStringLiteral("addr"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption offsetOption(
        QStringLiteral("port-offset"),
        QStringLiteral(
            "Added to the card ports (default 0); give the station the same --link-port-offset."),
        QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption cardOption(QStringLiteral("card"),
                                        QStringLiteral("One card (see above); repeatable."),
                                        QStringLiteral("setup"));
    const QCommandLineOption cardsOption(QStringLiteral("cards"),
                                         QStringLiteral("File with one card per line."),
                                         QStringLiteral("file"));
    const QCommandLineOption logOption(QStringLiteral("log"),
                                       QStringLiteral("Append the command log to this file."),
                                       QStringLiteral("file"));
    const QCommandLineOption outOption(QStringLiteral("out"),
                                       QStringLiteral("Directory for pictures and flash files."),
                                       QStringLiteral("dir"));
    const QCommandLineOption durationOption(
        QStringLiteral("duration"),
        QStringLiteral("Stop after this many seconds (default: run "
                       "until SIGINT or SIGTERM)."),
        QStringLiteral("seconds"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Seed for dropped replies (default 1)."),
                                        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption allowOption(
        QStringLiteral("allow-non-loopback"),
        QStringLiteral("Allow a non-loopback --bind address (never on a shared network)."));
    const QCommandLineOption broadcastOption(
        QStringLiteral("answer-broadcast"),
        QStringLiteral(
            "Answer to 255.255.255.255 at the station's port instead of to the station's "
            "address, as cards without IP addressing may. Needs a non-loopback --bind "
            "with --allow-non-loopback (only inside a network namespace)."));
    const QCommandLineOption windowOption(
        QStringLiteral("window"),
        QStringLiteral("Show every card as an LED panel (the virtual LED wall), the screens side "
                       "by side. The dots take the largest size at which the wall fits the "
                       "window; +/- or the mouse wheel change the dot size and the window's size "
                       "with it. Closing the window ends the simulator."));
    const QCommandLineOption dotOption(
        QStringLiteral("dot-size"),
        QStringLiteral("Pixels per LED when the window opens without --geometry (default 3; the "
                       "window is sized for it, within the screen)."),
        QStringLiteral("pixels"), QStringLiteral("3"));
    const QCommandLineOption geometryOption(
        QStringLiteral("geometry"),
        QStringLiteral("Size and place of the window, WxH or WxH+X+Y (X, Y: its top left corner "
                       "on the desktop). The dots take the largest size at which the wall fits."),
        QStringLiteral("WxH+X+Y"));
    const QCommandLineOption ddpOption(
        QStringLiteral("ddp"),
        QStringLiteral("Also be a DDP receiver (an LED wall of an open player) on this UDP port "
                       "of the --bind address; the window shows it beside the cards. Its frames "
                       "are logged, and with --out written as ddp-<PORT>.png."),
        QStringLiteral("port"));
    const QCommandLineOption ddpSizeOption(
        QStringLiteral("ddp-size"),
        QStringLiteral("Pixels of the DDP wall, WxH (default 256x32), as the player is set up."),
        QStringLiteral("WxH"), QStringLiteral("256x32"));
    for (const auto* option :
         {&bindOption, &offsetOption, &cardOption, &cardsOption, &logOption, &outOption,
          &durationOption, &seedOption, &allowOption, &broadcastOption, &windowOption, &dotOption,
          &geometryOption, &ddpOption, &ddpSizeOption}) {
        parser.addOption(*option);
    }
    parser.process(app);

    BankOptions options;
    const auto bind = Ipv4Address::Parse(parser.value(bindOption));
    if (!bind) {
        return Fail(QStringLiteral("--bind: not an IPv4 address: ") + parser.value(bindOption));
    }
    options.bindAddress = *bind;
    bool ok = false;
    options.portOffset = parser.value(offsetOption).toInt(&ok);
    if (!ok || options.portOffset < kMinPortOffset || options.portOffset > kMaxPortOffset) {
        return Fail(QStringLiteral("--port-offset: not a usable offset: ") +
                    parser.value(offsetOption));
    }
    options.seed = parser.value(seedOption).toUInt(&ok);
    if (!ok) {
        return Fail(QStringLiteral("--seed: not a number: ") + parser.value(seedOption));
    }
    options.allowNonLoopback = parser.isSet(allowOption);
    options.answerBroadcast = parser.isSet(broadcastOption);
    if (options.answerBroadcast &&
        (options.bindAddress.isLoopback() || !options.allowNonLoopback)) {
        return Fail(
            QStringLiteral("--answer-broadcast needs a non-loopback --bind and "
                           "--allow-non-loopback (use it only inside a network namespace)"));
    }
    const int dotSize = parser.value(dotOption).toInt(&ok);
    if (!ok || dotSize < LedWall::kMinDotSize || dotSize > LedWall::kMaxDotSize) {
        return Fail(QStringLiteral("--dot-size: not a size from %1 to %2: ")
                        .arg(LedWall::kMinDotSize)
                        .arg(LedWall::kMaxDotSize) +
                    parser.value(dotOption));
    }
    std::optional<WindowGeometry> geometry;
    if (parser.isSet(geometryOption)) {
        geometry = ParseWindowGeometry(parser.value(geometryOption));
        if (!geometry) {
            return Fail(QStringLiteral("--geometry: not WxH or WxH+X+Y: ") +
                        parser.value(geometryOption));
        }
    }
    std::optional<int> ddpPort;
    if (parser.isSet(ddpOption)) {
        const int port = parser.value(ddpOption).toInt(&ok);
        if (!ok || port < 0 || port > 65535) {
            return Fail(QStringLiteral("--ddp: not a UDP port: ") + parser.value(ddpOption));
        }
        ddpPort = port;
    }
    const std::optional<WindowGeometry> ddpSize = ParseWindowGeometry(parser.value(ddpSizeOption));
    if (!ddpSize || ddpSize->position || ddpSize->size.width() > 4096 ||
        ddpSize->size.height() > 4096) {
        return Fail(QStringLiteral("--ddp-size: not WxH up to 4096x4096: ") +
                    parser.value(ddpSizeOption));
    }
    double duration = -1;
    if (parser.isSet(durationOption)) {
        duration = parser.value(durationOption).toDouble(&ok);
        if (!ok || duration <= 0) {
            return Fail(QStringLiteral("--duration: not a positive number: ") +
                        parser.value(durationOption));
        }
    }

    std::vector<SimCardSpec> cards;
    if (parser.isSet(cardsOption)) {
        QFile file(parser.value(cardsOption));
        if (!file.open(QIODevice::ReadOnly)) {
            return Fail(QStringLiteral("cannot read ") + file.fileName());
        }
        const BankConfigParse parsed = ParseBankConfig(QString::fromUtf8(file.readAll()));
        if (!parsed.ok()) {
            return Fail(file.fileName() + QStringLiteral(": ") + parsed.error);
        }
        cards = parsed.cards;
    }
    for (const QString& setup : parser.values(cardOption)) {
        const BankConfigParse parsed = ParseCardSpec(setup);
        if (!parsed.ok()) {
            return Fail(QStringLiteral("--card: ") + parsed.error);
        }
        cards.push_back(parsed.cards.front());
    }
    if (cards.empty() && !ddpPort) {
        return Fail(QStringLiteral("no cards: give --card or --cards, or --ddp (see --help)"));
    }

    std::unique_ptr<QFile> logFile;
    if (parser.isSet(logOption)) {
        logFile = std::make_unique<QFile>(parser.value(logOption));
        if (!logFile->open(QIODevice::WriteOnly | QIODevice::Append)) {
            return Fail(QStringLiteral("cannot write ") + logFile->fileName());
        }
    }
    std::mutex logMutex;

    CardBank bank(options);
    for (const SimCardSpec& card : cards) {
        bank.AddCard(card);
    }
    // The cards and the DDP wall log from their own threads into one place.
    const auto writeLog = [&](const QString& line) {
        const QByteArray bytes = line.toUtf8() + '\n';
        std::lock_guard lock(logMutex);
        if (logFile) {
            logFile->write(bytes);
            logFile->flush();
        } else {
            std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
            std::fflush(stdout);
        }
    };
    bank.SetLogSink(writeLog);
    const LinkStatus started = bank.Start();
    if (!started) {
        return Fail(started.message);
    }
    std::unique_ptr<DdpScreen> ddpScreen;
    if (ddpPort) {
        if (!options.bindAddress.isLoopback() && !options.allowNonLoopback) {
            return Fail(QStringLiteral("--ddp listens on the --bind address, which must be "
                                       "loopback unless --allow-non-loopback is given"));
        }
        ddpScreen = std::make_unique<DdpScreen>(options.bindAddress, *ddpPort, ddpSize->size);
        ddpScreen->SetLogSink(writeLog);
        QString error;
        if (!ddpScreen->Start(&error)) {
            bank.Stop();
            return Fail(error);
        }
        std::printf("led-card-sim: DDP receiver %dx%d on %s port %d\n", ddpSize->size.width(),
                    ddpSize->size.height(),
                    options.bindAddress.toString().toLocal8Bit().constData(), ddpScreen->port());
    }
    LinkConfig ports;
    ports.portOffset = options.portOffset;
    std::printf("led-card-sim: %zu card(s) listening on %s ports %u-%u\n", cards.size(),
                options.bindAddress.toString().toLocal8Bit().constData(),
                unsigned{ports.CardPort(ScreenId::h)}, unsigned{ports.CardPort(ScreenId::x)});
    std::fflush(stdout);

    const QString outDir = parser.value(outOption);
    auto save = [&] {
        if (outDir.isEmpty()) {
            return true;
        }
        const IoStatus status = bank.SaveOutputs(outDir);
        if (!status) {
            std::fprintf(stderr, "led-card-sim: %s\n", status.message.toLocal8Bit().constData());
        }
        bool ddpSaved = true;
        if (ddpScreen) {
            const QString path = outDir + QStringLiteral("/ddp-%1.png").arg(ddpScreen->port());
            ddpSaved = ddpScreen->Picture().save(path, "PNG");
            if (!ddpSaved) {
                std::fprintf(stderr, "led-card-sim: cannot write %s\n",
                             path.toLocal8Bit().constData());
            }
        }
        return status.ok && ddpSaved;
    };

    if (parser.isSet(windowOption)) {
        // The wall fills the window and fits its dots to it; below the room
        // its smallest dots need, the window scrolls.
        QScrollArea area;
        area.setFrameShape(QFrame::NoFrame);
        auto* wall = new LedWall(bank);
        DdpView* ddpView = nullptr;
        if (ddpScreen) {
            // The DDP wall stands beside the cards at their dot size.
            auto* both = new QWidget;
            auto* row = new QHBoxLayout(both);
            row->setContentsMargins(0, 0, 0, 0);
            row->setSpacing(0);
            row->addWidget(wall, 1);
            ddpView = new DdpView(*ddpScreen, dotSize);
            ddpView->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
            row->addWidget(ddpView, 0, Qt::AlignTop);
            area.setWidget(both);
        } else {
            area.setWidget(wall);
        }
        area.setWidgetResizable(true);
        area.setWindowTitle(
            QStringLiteral("LED 墙 — led-card-sim (端口偏移 %1)").arg(options.portOffset));
        if (geometry) {
            area.resize(geometry->size);
            if (geometry->position) {
                area.move(*geometry->position);
            }
        } else {
            // The dot size asked for, or the largest below it at which the
            // wall, with the DDP wall beside it, fits the desktop (less room
            // for the frame and the panels).
            const auto wanted = [&](int dot) {
                QSize size = wall->SizeForDotSize(dot);
                if (ddpView != nullptr) {
                    const QSize ddp = ddpView->SizeForDotSize(dot);
                    size = QSize(size.width() + ddp.width(), std::max(size.height(), ddp.height()));
                }
                return size;
            };
            int fitting = dotSize;
            if (const QScreen* screen = QGuiApplication::primaryScreen()) {
                const QSize room = screen->availableGeometry().size() - QSize(40, 80);
                while (fitting > LedWall::kMinDotSize &&
                       !QRect(QPoint(), room).contains(QRect(QPoint(), wanted(fitting)))) {
                    --fitting;
                }
            }
            if (ddpView != nullptr) {
                ddpView->SetDotSize(fitting);
            }
            area.resize(wanted(fitting));
        }
        wall->SetAutoTick(true);
        if (ddpView != nullptr) {
            ddpView->SetAutoTick(true);
        }
        area.show();
        wall->setFocus();
        // The signals stay blocked for the bank's threads; the window takes
        // them here between events.
        QTimer signalPoll;
        QObject::connect(&signalPoll, &QTimer::timeout, &app, [&] {
            timespec none{0, 0};
            for (;;) {
                const int signal = sigtimedwait(&handledSignals, nullptr, &none);
                if (signal == SIGUSR1) {
                    save();
                } else if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP) {
                    QCoreApplication::quit();
                } else {
                    return;
                }
            }
        });
        signalPoll.start(100);
        if (duration > 0) {
            QTimer::singleShot(static_cast<int>(duration * 1000), &app,
                               [] { QCoreApplication::quit(); });
        }
        app.exec();
        bank.Stop();
        if (ddpScreen) {
            ddpScreen->Stop();
        }
        return save() ? 0 : 1;
    }

    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const double end = deadline.tv_sec + deadline.tv_nsec / 1e9 + duration;
    for (;;) {
        timespec wait{0, 200 * 1000 * 1000};
        const int signal = sigtimedwait(&handledSignals, nullptr, &wait);
        if (signal == SIGUSR1) {
            save();
            continue;
        }
        if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP) {
            break;
        }
        if (duration > 0) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            if (now.tv_sec + now.tv_nsec / 1e9 >= end) {
                break;
            }
        }
    }
    bank.Stop();
    if (ddpScreen) {
        ddpScreen->Stop();
    }
    return save() ? 0 : 1;
}
