// A main station and its backup as two real processes with a simulated card
// on loopback, measured for
//  1. kill to line: the main station killed with SIGKILL while it shows line
//     4, to the moment the card shows line 4 again, sent by the backup
//     (median and maximum of the runs);
//  2. state lag: the main station steps a line (OSC), and the time from its
//     own journal showing the line to the backup's journal showing it. Both
//     journals are written the same way (50 ms settling, own thread), so the
//     difference is what the mirror adds: the message, the backup's showing
//     and its capture (median and p99 of all steps).
//
//     failover_timing [--runs N] [--steps N]     (defaults 10 and 20)
//
// Everything stays on 127.0.0.1 and 127.0.0.2.

#include "LiveTestSupport.h"
#include "StationPair.h"

#include "core/TextFiles.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

qint64 Percentile(std::vector<qint64> values, double p) {
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    const auto at = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[at];
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct RunResult {
    qint64 killToLineMs = -1;
    std::vector<qint64> lagsMs;
};

// One run: fresh homes, a fresh card, both stations started; steps, then the kill.
std::optional<RunResult> Run(int steps) {
    const std::optional<int> offset = ProbeFreePortOffset();
    if (!offset) {
        return std::nullopt;
    }
    BankOptions options;
    options.portOffset = *offset;
    CardBank bank(options);
    const SimCardSpec card = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    bank.AddCard(card);
    bank.SetKeptLogLines(1000000);
    if (!bank.Start().ok) {
        return std::nullopt;
    }

    QTemporaryDir homeA;
    QTemporaryDir homeB;
    QStringList lines;
    for (int n = 1; n <= steps + 10; ++n) {
        lines << QStringLiteral("第%1句").arg(n);
    }
    const QString script = QDir(homeA.path()).filePath(QStringLiteral("script.txt"));
    const QString list = QDir(homeA.path()).filePath(QStringLiteral("show.lft"));
    if (!WriteFile(script, JoinLinesGbk(lines)) || !WriteFile(list, JoinLinesGbk({script}))) {
        return std::nullopt;
    }
    SettingsStore store;
    store.StoredSettings.screen(ScreenId::h) = TScreenParams{true, 1, 256, 32, 1, 0, 0, 1, 0};
    store.StoredSettings.screen(ScreenId::s).ScreenKind = false;
    store.StoredSettings.screen(ScreenId::x).ScreenKind = false;
    store.cards(ScreenId::h) = CardListOf({card});
    store.Play.LastOpenFile = list;
    if (!SaveConfig(store, QDir(homeA.path()).filePath(QStringLiteral("Config.ini"))).ok) {
        return std::nullopt;
    }
    store.Play.LastOpenFile.clear();
    if (!SaveConfig(store, QDir(homeB.path()).filePath(QStringLiteral("Config.ini"))).ok) {
        return std::nullopt;
    }

    StationRun a;
    StationRun b;
    a.home = homeA.path();
    a.address = kFirst;
    b.home = homeB.path();
    b.address = kSecond;
    for (StationRun* run : {&a, &b}) {
        run->oscPort = FreeUdpPort(run->address);
        run->mirrorPort = FreeTcpPort(run->address);
    }
    a.peer = &b;
    b.peer = &a;
    const auto end = [&] {
        for (StationRun* run : {&a, &b}) {
            if (run->process.state() != QProcess::NotRunning) {
                run->Kill(SIGKILL);
            }
        }
    };
    if (!a.Start(*offset, QStringLiteral("main")) || !b.Start(*offset, QStringLiteral("backup")) ||
        !a.ConnectByOsc(60000)) {
        std::fprintf(stderr, "the stations did not start: %s\n", a.Errors().toUtf8().constData());
        end();
        return std::nullopt;
    }

    RunResult result;
    for (int step = 0; step < steps; ++step) {
        a.Send(Osc("/subtitle/next"));
        qint64 atMain = -1;
        qint64 atBackup = -1;
        QElapsedTimer clock;
        clock.start();
        while ((atMain < 0 || atBackup < 0) && clock.elapsed() < 20000) {
            if (atMain < 0 && a.Shows(step, true)) {
                atMain = clock.nsecsElapsed() / 1000;
            }
            if (atBackup < 0 && b.Shows(step, false)) {
                atBackup = clock.nsecsElapsed() / 1000;
            }
            QTest::qWait(1);
        }
        if (atMain < 0 || atBackup < 0) {
            std::fprintf(stderr, "step %d was not mirrored\n", step + 1);
            end();
            return std::nullopt;
        }
        result.lagsMs.push_back((atBackup - atMain) / 1000);
    }

    a.Send(Osc("/subtitle/go", 4));
    if (!QTest::qWaitFor([&] { return a.Shows(3, true) && b.Shows(3, false); }, 30000)) {
        end();
        return std::nullopt;
    }
    QTest::qWait(300); // the line is on the card
    const QImage fourth = bank.Displayed(card.mac);
    const int swaps = bank.Card(card.mac)->swaps;
    QElapsedTimer sinceKill;
    sinceKill.start();
    a.Kill(SIGKILL);
    while (sinceKill.elapsed() < 30000) {
        if (bank.Card(card.mac)->swaps > swaps && DatagramsFrom(bank, kSecond) > 0 &&
            bank.Displayed(card.mac) == fourth) {
            result.killToLineMs = sinceKill.elapsed();
            break;
        }
        QTest::qWait(1);
    }
    end();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int runs = 10;
    int steps = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0) {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--steps") == 0) {
            steps = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    std::vector<qint64> kills;
    std::vector<qint64> lags;
    for (int run = 1; run <= runs; ++run) {
        const std::optional<RunResult> result = Run(steps);
        if (!result) {
            std::printf("run %d: failed\n", run);
            continue;
        }
        std::printf("run %d: kill to line %lld ms, lag median %lld ms\n", run,
                    static_cast<long long>(result->killToLineMs),
                    static_cast<long long>(Percentile(result->lagsMs, 0.5)));
        std::fflush(stdout);
        if (result->killToLineMs >= 0) {
            kills.push_back(result->killToLineMs);
        }
        lags.insert(lags.end(), result->lagsMs.begin(), result->lagsMs.end());
    }
    std::printf("kill to line on the card: median %lld ms, max %lld ms (%zu runs)\n",
                static_cast<long long>(Percentile(kills, 0.5)),
                static_cast<long long>(Percentile(kills, 1.0)), kills.size());
    std::printf("state lag main to backup: median %lld ms, p99 %lld ms (%zu steps)\n",
                static_cast<long long>(Percentile(lags, 0.5)),
                static_cast<long long>(Percentile(lags, 0.99)), lags.size());
    return kills.size() == size_t(runs) ? 0 : 1;
}
