// Cold start of the station: from the moment the process is spawned to the
// main window shown with a 200-entry playlist restored (settings read, the
// screens blanked, the first entry's script in the line list), and the
// resident memory at that moment.
//
//   station_startup [runs]
//
// Each run is a new process (this program with --measure HOME), so shared
// libraries are loaded and resolved every time as in a real start. The
// offscreen platform is used unless QT_QPA_PLATFORM says otherwise.

#include "ShowHome.h"

#include "support/ProcessMemory.h"

#include "ui/MainForm.h"
#include "ui/StationApplication.h"
#include "ui/StationOptions.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

long long MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int Measure(int argc, char** argv, const QString& home) {
    StationApplication app(argc, argv);
    StationOptions options;
    options.home = home;
    options.desktopDir = home + QStringLiteral("/no-desktop");
    options.link = LinkConfig::Loopback(ProbeFreePortOffset().value_or(1234));
    TMainForm window(options);
    window.show();
    QCoreApplication::processEvents();
    const long long shown = MonotonicNs();
    std::printf("shown %lld rss %lld entries %lld lines %lld\n", shown, ResidentKiB(),
                static_cast<long long>(window.playlist().count()),
                static_cast<long long>(window.document().lines().size()));
    std::fflush(stdout);
    window.close();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--measure") {
        return Measure(argc, argv, QString::fromLocal8Bit(argv[2]));
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    MakeShowHome(dir.path(), 200, 50);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM"))) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    std::vector<double> millis;
    long long rss = 0;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::SeparateChannels);
        const long long spawned = MonotonicNs();
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--measure"), dir.path()});
        if (!child.waitForFinished(60000)) {
            std::fprintf(stderr, "run %d did not finish\n", i);
            return 1;
        }
        const QList<QByteArray> words = child.readAllStandardOutput().trimmed().split(' ');
        if (words.size() < 8 || words[0] != "shown") {
            std::fprintf(stderr, "run %d printed nothing useful\n", i);
            return 1;
        }
        const double ms = double(words[1].toLongLong() - spawned) / 1e6;
        millis.push_back(ms);
        rss = std::max(rss, words[3].toLongLong());
        std::printf("run %d: %.1f ms to shown, resident %lld KiB, %s entries, %s lines\n", i, ms,
                    words[3].toLongLong(), words[5].constData(), words[7].constData());
    }
    std::sort(millis.begin(), millis.end());
    std::printf("cold start median %.1f ms (min %.1f, max %.1f) over %d runs; resident at most "
                "%.1f MB\n",
                millis[millis.size() / 2], millis.front(), millis.back(), runs,
                double(rss) / 1024.0);
    return 0;
}
