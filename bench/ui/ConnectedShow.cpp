#include "ConnectedShow.h"

#include "ShowHome.h"

#include "LoopbackRig.h"

#include "ui/DialogAnswers.h"

#include <QTest>

#include <cstdio>
#include <vector>

ConnectedShow::ConnectedShow(int cards, int entries, int linesPerScript,
                             const std::function<void(StationOptions&)>& adjust) {
    DialogAnswers::instance().setScripted(true);
    const int offset = ProbeFreePortOffset().value_or(2345);
    BankOptions bankOptions;
    bankOptions.portOffset = offset;
    bank = std::make_unique<CardBank>(bankOptions);
    // A long measurement must not grow the bank's log.
    bank->SetKeptLogLines(100);
    std::vector<MacAddress> macs;
    for (int i = 1; i <= cards; ++i) {
        SimCardSpec card = TestCard(i, ScreenId::h);
        card.params = MakeCardParams(256, 32, 0, 1);
        bank->AddCard(card);
        macs.push_back(card.mac);
    }
    bank->Start();
    MakeShowHome(dir.path(), entries, linesPerScript, macs);
    StationOptions options;
    options.home = dir.path();
    options.desktopDir = dir.path() + QStringLiteral("/no-desktop");
    options.link = LinkConfig::Loopback(offset);
    if (adjust) {
        adjust(options);
    }
    window = std::make_unique<TMainForm>(options);
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get())) {
        std::fprintf(stderr, "the window did not become active\n");
    }
    window->live().Connect();
    list = window->findChild<LineListView*>(QStringLiteral("ListView1"));
    list->setCurrentIndex(list->model()->index(0, 1));
}

ConnectedShow::~ConnectedShow() {
    window->close();
    window.reset();
    DialogAnswers::instance().setScripted(false);
}
