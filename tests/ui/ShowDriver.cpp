// The station's main window in a process of its own, brought into a show
// state the way an operator would (keys, buttons, scripted dialogs), so a
// test can kill it with SIGKILL mid-show:
//
//   station_show_driver HOME PORT_OFFSET line3|lyric|edit
//
// "line3": connected, the third line of the first entry sent.
// "lyric": the first entry (a lyric with its track) playing from F1 until
//          its track stands at 5 s.
// "edit":  on the editing page, a line inserted and not saved.
// It prints "ready" (for "lyric" also the track position in ms) once the
// show journal holds that state (and for "line3" the card shows the line),
// then runs until it is killed.
#include "ui/DialogAnswers.h"
#include "ui/LineListView.h"
#include "ui/MainForm.h"
#include "ui/StationApplication.h"
#include "ui/StationOptions.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <chrono>
#include <cstdio>

namespace {

int Fail(const char* why) {
    std::fprintf(stderr, "driver: %s\n", why);
    return 1;
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QTest::qWait(5);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    StationApplication app(argc, argv);
    if (argc != 4) {
        return Fail("usage: station_show_driver HOME PORT_OFFSET line3|lyric|edit");
    }
    const QString scenario = QString::fromLocal8Bit(argv[3]);
    DialogAnswers::instance().setScripted(true);

    StationOptions options;
    options.home = QString::fromLocal8Bit(argv[1]);
    options.desktopDir = options.home + QStringLiteral("/Desktop");
    options.link = LinkConfig::Loopback(QString::fromLocal8Bit(argv[2]).toInt());
    TMainForm window(options);
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) {
        return Fail("the window did not become active");
    }
    auto* list = window.findChild<LineListView*>(QStringLiteral("ListView1"));
    if (list == nullptr || window.document().lines().size() < 3) {
        return Fail("the first entry's script did not open");
    }

    qint64 reported = -1;
    if (scenario == QLatin1String("line3")) {
        window.live().Connect();
        list->setCurrentIndex(list->model()->index(0, 1));
        QTest::keyClick(list, Qt::Key_Return);
        QTest::keyClick(list, Qt::Key_Return);
        if (window.player().selectedLine() != 2 || !window.live().IsConnected()) {
            return Fail("line 3 is not selected on an open link");
        }
        // The card shows the line before the test looks.
        if (!window.worker().WaitUntilIdle(std::chrono::seconds(10))) {
            return Fail("the line did not reach the cards");
        }
    } else if (scenario == QLatin1String("lyric")) {
        QTest::keyClick(&window, Qt::Key_F1);
        if (window.player().state() != PlayerState::Playing) {
            return Fail("the lyric does not play");
        }
        if (!WaitFor([&] { return window.player().PositionMs() >= 5000; }, 30000)) {
            return Fail("the track never reached 5 s");
        }
    } else if (scenario == QLatin1String("edit")) {
        window.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
        list->setCurrentIndex(list->model()->index(0, 0));
        DialogAnswers::instance().forms.push_back([](QDialog& dialog) {
            dialog.findChild<QLineEdit*>(QStringLiteral("Edit1"))
                ->setText(QStringLiteral("开演前"));
            return int(QDialog::Accepted);
        });
        window.findChild<QPushButton*>(QStringLiteral("EButtonInsert"))->click();
        if (!window.document().document().modified) {
            return Fail("the insert did not change the script");
        }
    } else {
        return Fail("unknown scenario");
    }
    if (!window.showSession().WaitWritten(std::chrono::seconds(10))) {
        return Fail("the journal was not written");
    }
    if (scenario == QLatin1String("lyric")) {
        reported = window.player().PositionMs();
    }
    std::printf(reported >= 0 ? "ready %lld\n" : "ready\n", static_cast<long long>(reported));
    std::fflush(stdout);
    return app.exec();
}
