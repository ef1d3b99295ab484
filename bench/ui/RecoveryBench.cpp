// How fast a killed station is back on its line: a station on a 200-entry
// playlist, connected to four simulated cards, steps to line 3 and is killed
// with SIGKILL; the station is started again on the same home, and the time
// from the start of its process to the first SwapBuffer a card receives (the
// line on the screens again, unasked) is measured.
//
//   recovery_bench [runs]
//
// The killed station is this program (--drive HOME OFFSET: the main window
// driven to line 3); the restarted one is the station's own executable. Both
// run on the offscreen platform unless QT_QPA_PLATFORM says otherwise, with
// the link on loopback.

#include "ShowHome.h"
#include "ui/StationProcess.h"

#include "CardBank.h"
#include "LoopbackRig.h"

#include "ui/DialogAnswers.h"
#include "ui/LineListView.h"
#include "ui/MainForm.h"
#include "ui/StationApplication.h"
#include "ui/StationOptions.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <vector>

namespace {

long long MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int Drive(int argc, char** argv) {
    StationApplication app(argc, argv);
    DialogAnswers::instance().setScripted(true);
    StationOptions options;
    options.home = QString::fromLocal8Bit(argv[2]);
    options.desktopDir = options.home + QStringLiteral("/no-desktop");
    options.link = LinkConfig::Loopback(std::atoi(argv[3]));
    TMainForm window(options);
    window.show();
    if (!QTest::qWaitForWindowActive(&window)) {
        return 1;
    }
    window.live().Connect();
    auto* list = window.findChild<LineListView*>(QStringLiteral("ListView1"));
    list->setCurrentIndex(list->model()->index(0, 1));
    QTest::keyClick(list, Qt::Key_Return);
    QTest::keyClick(list, Qt::Key_Return);
    if (window.player().selectedLine() != 2 ||
        !window.worker().WaitUntilIdle(std::chrono::seconds(10)) ||
        !window.showSession().WaitWritten(std::chrono::seconds(10))) {
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

QProcessEnvironment Environment(const QString& home) {
    QProcessEnvironment env = StationProcessEnvironment(home, home);
    // A platform the benchmark was given (an X display to watch it) is kept.
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), qEnvironmentVariable("QT_QPA_PLATFORM"));
    }
    return env;
}

bool WaitForLine(QProcess& process) {
    QByteArray out;
    QElapsedTimer waited;
    waited.start();
    while (!out.contains('\n') && process.state() == QProcess::Running &&
           waited.elapsed() < 60000) {
        process.waitForReadyRead(100);
        out += process.readAllStandardOutput();
    }
    return out.startsWith("ready");
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string_view(argv[1]) == "--drive") {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
        }
        return Drive(argc, argv);
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QCoreApplication app(argc, argv);

    const int offset = ProbeFreePortOffset().value_or(2345);
    BankOptions bankOptions;
    bankOptions.portOffset = offset;
    CardBank bank(bankOptions);
    std::vector<MacAddress> macs;
    for (int i = 1; i <= 4; ++i) {
        SimCardSpec card = TestCard(i, ScreenId::h);
        card.params = MakeCardParams(256, 32, 0, 1);
        bank.AddCard(card);
        macs.push_back(card.mac);
    }
    std::atomic<long long> firstSwapNs{0};
    std::atomic<bool> watching{false};
    bank.SetLogSink([&](const QString& line) {
        long long none = 0;
        if (watching.load() && line.contains(QLatin1String("SwapBuffer"))) {
            firstSwapNs.compare_exchange_strong(none, MonotonicNs());
        }
    });
    if (!bank.Start().ok) {
        std::fprintf(stderr, "the simulated cards could not start\n");
        return 1;
    }

    std::vector<double> millis;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir home;
        MakeShowHome(home.path(), 200, 50, macs);
        QProcess killed;
        killed.setProcessEnvironment(Environment(home.path()));
        killed.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--drive"), home.path(), QString::number(offset)});
        if (!killed.waitForStarted(10000) || !WaitForLine(killed)) {
            std::fprintf(stderr, "run %d: the station did not reach line 3\n", run);
            return 1;
        }
        ::kill(static_cast<pid_t>(killed.processId()), SIGKILL);
        killed.waitForFinished(10000);

        firstSwapNs = 0;
        watching = true;
        QProcess station;
        station.setProcessEnvironment(Environment(home.path()));
        const long long started = MonotonicNs();
        station.start(QStringLiteral(STATION_EXECUTABLE),
                      {QStringLiteral("--home"), home.path(), QStringLiteral("--link-local"),
                       QStringLiteral("127.0.0.1"), QStringLiteral("--link-target"),
                       QStringLiteral("127.0.0.1"), QStringLiteral("--link-port-offset"),
                       QString::number(offset)});
        QElapsedTimer waited;
        waited.start();
        while (firstSwapNs == 0 && waited.elapsed() < 30000) {
            station.waitForFinished(5);
        }
        watching = false;
        if (firstSwapNs == 0) {
            std::fprintf(stderr, "run %d: no line reached the cards\n", run);
            station.kill();
            station.waitForFinished(10000);
            return 1;
        }
        const double ms = double(firstSwapNs - started) / 1e6;
        millis.push_back(ms);
        std::printf("run %d: %.1f ms from start to the line on the cards\n", run, ms);
        ::kill(static_cast<pid_t>(station.processId()), SIGTERM);
        station.waitForFinished(30000);
    }
    std::sort(millis.begin(), millis.end());
    std::printf("start to the line on the cards after SIGKILL: median %.1f ms (min %.1f, max "
                "%.1f) over %d runs\n",
                millis[millis.size() / 2], millis.front(), millis.back(), runs);
    return 0;
}
