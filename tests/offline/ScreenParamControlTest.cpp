// The screen-parameter dialog's commands without its window, against
// simulated cards on 127.0.0.1: search, filling a page from a card, loading
// parameter blocks, parameter files, moving a card and the readback.
#include "offline/ScreenParamControl.h"
#include "offline/ParamFiles.h"

#include "link/CardRecordFill.h"

#include "link/LiveControl.h"
#include "link/LiveTestSupport.h"
#include "support/Pictures.h"
#include "support/ScriptedOperator.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace std::chrono_literals;

namespace {

// Runs the event loop (the control's timers) until the condition holds.
bool ProcessUntil(const std::function<bool()>& condition, int limitMs = 5000) {
    QDeadlineTimer deadline(limitMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

QString Entry(const SimCardSpec& card, const char* label) {
    return QStringLiteral("mac:") + MacText(card.mac) + QLatin1Char(' ') + card.name +
           QStringLiteral("->") + QString::fromLatin1(label) + QStringLiteral("卡");
}

// Width, height, scan entry, colour of a page.
std::array<int, 4> Geometry(const TScreenParams& p) {
    return {p.ScreenWidth, p.ScreenHeight, p.ScanStyle, p.ScreenStyle};
}

QStringList Ids(const CardList& cards) {
    QStringList ids;
    for (const CardEntry& entry : cards) {
        ids << entry.id;
    }
    ids.sort();
    return ids;
}

class ScreenParamControlTest : public ::testing::Test {
protected:
    void Start(const std::vector<SimCardSpec>& cards) {
        m_rig = std::make_unique<LoopbackRig>(cards);
        ASSERT_TRUE(m_rig->ok()) << m_rig->error().toStdString();
        m_worker = std::make_unique<TLedThread>(m_rig->link());
        m_control = std::make_unique<ScreenParamControl>(m_rig->link(), *m_worker, settings, op,
                                                         StationPaths(home.path()));
    }
    bool SearchesDone() {
        return std::none_of(kAllScreens.begin(), kAllScreens.end(),
                            [this](ScreenId s) { return control().IsSearching(s); });
    }
    void SearchAllAndWait() {
        control().SearchAll();
        ASSERT_TRUE(ProcessUntil([this] { return SearchesDone(); }));
    }
    ScreenParamControl& control() { return *m_control; }
    TLedThread& worker() { return *m_worker; }
    CardBank& bank() { return m_rig->bank(); }

    TempDir home;
    SettingsStore settings;
    ScriptedOperator op;
    std::unique_ptr<LoopbackRig> m_rig;
    std::unique_ptr<TLedThread> m_worker;
    std::unique_ptr<ScreenParamControl> m_control;
};

TEST_F(ScreenParamControlTest, SearchListsEachCardOnceWithItsNameAndModel) {
    SimCardSpec twice = CardFor(1, ScreenId::h, 512, 64, 5, 2);
    twice.name = QStringLiteral("左台");
    twice.modelCode = 3;
    twice.faults.duplicate = true; // every answer arrives twice
    SimCardSpec oddModel = TestCard(2, ScreenId::h);
    oddModel.modelCode = 200;
    SimCardSpec vertical = CardFor(3, ScreenId::s, 256, 32, 0, 1);
    vertical.modelCode = 13;
    Start({twice, oddModel, vertical});
    const TScreenParams smallBefore = settings.ActiveSettings.screen(ScreenId::x);
    control().LoadPagesFromSettings();

    SearchAllAndWait();

    EXPECT_EQ(Ids(control().cards(ScreenId::h)),
              (QStringList{Entry(twice, "T3"), Entry(oddModel, "Q1")}));
    EXPECT_EQ(Ids(control().cards(ScreenId::s)), QStringList{Entry(vertical, "M")});
    // The page shows the first card that answered and the screen is in use.
    for (ScreenId screen : {ScreenId::h, ScreenId::s}) {
        EXPECT_EQ(control().selectedCard(screen), 0);
        EXPECT_TRUE(control().page(screen).ScreenKind);
    }
    const TScreenParams& h = control().page(ScreenId::h);
    if (control().cards(ScreenId::h).front().id == Entry(twice, "T3")) {
        EXPECT_EQ(Geometry(h), (std::array<int, 4>{512, 64, 5, 2}));
    }
    const TScreenParams& s = control().page(ScreenId::s);
    EXPECT_EQ(s.ScreenWidth, 32);
    EXPECT_EQ(s.ScreenHeight, 256);
    // Nobody answered on the small screen: the page and its in-use box stay.
    EXPECT_TRUE(control().cards(ScreenId::x).empty());
    EXPECT_EQ(control().selectedCard(ScreenId::x), -1);
    EXPECT_EQ(control().page(ScreenId::x), smallBefore);
    // The lists are the settings' (saved with Config.ini), and nothing was shown.
    EXPECT_EQ(settings.cards(ScreenId::h).size(), 2u);
    EXPECT_TRUE(op.events.empty());
}

TEST_F(ScreenParamControlTest, ClickingAnEntryFillsThePageFromItsRecord) {
    const SimCardSpec first = CardFor(1, ScreenId::x, 128, 16, 1, 0);
    const SimCardSpec second = CardFor(2, ScreenId::x, 320, 32, 9, 2);
    Start({first, second});
    SearchAllAndWait();
    ASSERT_EQ(control().cards(ScreenId::x).size(), 2u);
    const int index = control().cards(ScreenId::x)[0].id.contains(MacText(second.mac)) ? 0 : 1;
    control().SelectCard(ScreenId::x, index);
    const TScreenParams& page = control().page(ScreenId::x);
    EXPECT_EQ(page.ScreenWidth, 320);
    EXPECT_EQ(page.ScreenHeight, 32);
    EXPECT_EQ(page.ScanStyle, 9);
    EXPECT_EQ(page.ScreenStyle, 2);
    EXPECT_EQ(control().selectedCard(ScreenId::x), index);
}

TEST_F(ScreenParamControlTest, LoadWritesTheBlockToEveryCardInListOrder) {
    const SimCardSpec first = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    const SimCardSpec absent = TestCard(0x0BAD, ScreenId::h); // listed, switched off
    const SimCardSpec third = CardFor(3, ScreenId::h, 256, 32, 0, 1);
    Start({first, third});
    settings.cards(ScreenId::h) = CardListOf({first, absent, third});
    settings.Ad.play = false;
    TScreenParams& page = control().page(ScreenId::h);
    page.ScreenWidth = 512;
    page.ScreenHeight = 64;
    page.ScreenStyle = 1;
    page.ScanStyle = 5;
    page.OePol = 0;
    page.DataPol = 1;

    control().LoadCards(ScreenId::h);

    EXPECT_EQ(op.texts(QStringLiteral("inform")),
              (QStringList{MacText(first.mac) + QStringLiteral("->加载成功！"),
                           MacText(absent.mac) + QStringLiteral("->连接超时！"),
                           MacText(third.mac) + QStringLiteral("->加载成功！")}));
    const ParamBlock block = BuildParamBlock(worker().linkScreen(ScreenId::h));
    EXPECT_EQ(ReadParamBlock(block).bytesPerRow, 64);
    for (const SimCardSpec& card : {first, third}) {
        // The farewell is not waited for; give it the time to arrive.
        ASSERT_TRUE(ProcessUntil([&] { return bank().Card(card.mac)->disconnects >= 1; }));
        const CardState state = *bank().Card(card.mac);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), state.setup.params.begin()));
        // Connect, the block, and the farewell with "no": not playing on its own.
        EXPECT_EQ(CardActions(bank(), card.mac),
                  (QStringList{QStringLiteral("Connect"), QStringLiteral("LoadParameters"),
                               QStringLiteral("Disconnect")}));
        EXPECT_FALSE(state.startOfflineOnDisconnect);
    }
    EXPECT_FALSE(m_rig->link().screen(ScreenId::h).IsActive());

    // The cards now describe themselves with the new geometry...
    control().Search(ScreenId::h);
    ASSERT_TRUE(ProcessUntil([this] { return !control().IsSearching(ScreenId::h); }));
    ASSERT_EQ(control().cards(ScreenId::h).size(), 2u);
    TScreenParams found;
    FillFromCard(ScreenId::h, control().cards(ScreenId::h)[1].record, found);
    EXPECT_EQ(Geometry(found), (std::array<int, 4>{512, 64, 5, 1}));
    EXPECT_EQ(found.DataPol, 1);

    // ...and decode the next frame with it.
    settings.ActiveSettings.screen(ScreenId::h) = page;
    settings.ActiveSettings.screen(ScreenId::s).ScreenKind = false;
    settings.ActiveSettings.screen(ScreenId::x).ScreenKind = false;
    LiveControl live(m_rig->link(), worker(), settings, op);
    live.Connect();
    const QImage frame = NoisePicture(512, 64, 3);
    worker().LoadScreenBitmap(ScreenId::h, frame, {});
    worker().RequestFrame(ScreenId::h);
    ASSERT_TRUE(worker().WaitFramesDone(ScreenId::h, 1, 10s));
    EXPECT_EQ(bank().Displayed(first.mac), Thresholded(frame, ColourKind::Dual));
    live.Disconnect();
}

// 寻找 pressed while 加载 runs on the same screen (its messages let the
// window's events run): the search waits, the list the load works through
// stays, and the screen can be searched once the load is done.
TEST_F(ScreenParamControlTest, SearchAndLoadOfOneScreenNeverOverlap) {
    const SimCardSpec first = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    const SimCardSpec absent = TestCard(0x0BAD, ScreenId::h);
    const SimCardSpec third = CardFor(3, ScreenId::h, 256, 32, 0, 1);
    Start({first, third});
    settings.cards(ScreenId::h) = CardListOf({first, absent, third});
    int busySignals = 0;
    QObject::connect(&control(), &ScreenParamControl::busyChanged,
                     [&busySignals](ScreenId screen) { busySignals += screen == ScreenId::h; });
    bool busyDuringLoad = false;
    op.onEvent = [&](const ScriptedOperator::Event& event) {
        if (event.kind == QStringLiteral("inform") && event.text.startsWith(MacText(first.mac))) {
            busyDuringLoad = control().IsBusy(ScreenId::h) && control().IsBusy();
            control().Search(ScreenId::h);
            control().LoadCards(ScreenId::h); // and a second 加载 as well
        }
    };
    control().LoadCards(ScreenId::h);
    op.onEvent = nullptr;
    EXPECT_TRUE(busyDuringLoad);
    EXPECT_FALSE(control().IsBusy(ScreenId::h));
    EXPECT_FALSE(control().IsSearching(ScreenId::h));
    EXPECT_EQ(busySignals, 2);
    EXPECT_EQ(control().cards(ScreenId::h).size(), 3u);
    // One message per card: the second 加载 did nothing.
    EXPECT_EQ(op.texts(QStringLiteral("inform")).size(), 3);
    for (const SimCardSpec& card : {first, third}) {
        ASSERT_TRUE(ProcessUntil([&] { return bank().Card(card.mac)->disconnects >= 1; }));
        EXPECT_EQ(
            CardActions(bank(), card.mac, true).filter(QStringLiteral("LoadParameters")).size(), 1);
    }

    control().Search(ScreenId::h);
    EXPECT_TRUE(control().IsBusy(ScreenId::h));
    ASSERT_TRUE(ProcessUntil([this] { return !control().IsSearching(ScreenId::h); }));
    EXPECT_EQ(control().cards(ScreenId::h).size(), 2u);
}

TEST_F(ScreenParamControlTest, LoadWithAnEmptyListOnlySetsTheScreen) {
    Start({TestCard(1, ScreenId::x)});
    control().page(ScreenId::x).ScreenWidth = 320;
    control().LoadCards(ScreenId::x);
    EXPECT_EQ(worker().linkScreen(ScreenId::x).width, 320);
    EXPECT_EQ(bank().DatagramsHandled(), 0);
    EXPECT_TRUE(op.events.empty());
}

TEST_F(ScreenParamControlTest, ParameterFileAndItsFailure) {
    Start({});
    control().page(ScreenId::s).ScreenWidth = 64;
    control().page(ScreenId::s).ScreenHeight = 512;
    control().MakeParamFile(ScreenId::s);
    EXPECT_EQ(op.texts(QStringLiteral("inform")),
              QStringList{QStringLiteral("纵屏参数文件生成成功！")});
    const QByteArray file = TempDir::read(home.file(QStringLiteral("data/cs_s.bin")));
    ASSERT_EQ(file.size(), 512);
    EXPECT_EQ(file.left(4), QByteArray::fromHex("40004000")); // 512 / 8 wide, 64 high

    // A data "directory" that is a file: the message, not a silent success.
    TempDir other;
    other.write(QStringLiteral("data"), "x");
    ScreenParamControl elsewhere(m_rig->link(), worker(), settings, op, StationPaths(other.path()));
    elsewhere.MakeParamFile(ScreenId::h);
    const QStringList errors = op.texts(QStringLiteral("error"));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("创建文件失败！请重启软件！")));
}

TEST_F(ScreenParamControlTest, MovingACardToTheSmallScreen) {
    const SimCardSpec card = TestCard(1, ScreenId::h);
    const SimCardSpec stays = TestCard(2, ScreenId::h);
    Start({card, stays});
    SearchAllAndWait();
    const CardList found = control().cards(ScreenId::h);
    ASSERT_EQ(found.size(), 2u);
    const int index = found[0].id.contains(MacText(card.mac)) ? 0 : 1;
    control().SelectCard(ScreenId::h, index);

    control().MoveSelectedCard(ScreenId::h, ScreenId::x);
    EXPECT_EQ(op.texts(QStringLiteral("inform")),
              QStringList{MacText(card.mac) + QStringLiteral("->设置成功！")});
    EXPECT_EQ(bank().Card(card.mac)->setup.screen, ScreenId::x);
    EXPECT_FALSE(m_rig->link().screen(ScreenId::h).IsActive());

    // Half a second later every list is searched again and shows the move.
    ASSERT_TRUE(ProcessUntil([this] { return control().IsSearching(ScreenId::h); }));
    ASSERT_TRUE(ProcessUntil([this] { return SearchesDone(); }));
    EXPECT_EQ(Ids(control().cards(ScreenId::h)), QStringList{Entry(stays, "Q1")});
    EXPECT_EQ(Ids(control().cards(ScreenId::x)), QStringList{Entry(card, "Q1")});
    // It answers on the small screen's port only.
    CardList atH = m_rig->link().Search(ScreenId::h, 200ms);
    EXPECT_EQ(atH.size(), 1u);
}

TEST_F(ScreenParamControlTest, MoveWithoutASelectionOrToACardThatIsGone) {
    const SimCardSpec gone = TestCard(7, ScreenId::s);
    Start({});
    control().MoveSelectedCard(ScreenId::s, ScreenId::h);
    EXPECT_EQ(op.texts(QStringLiteral("inform")), QStringList{QStringLiteral("请选中一张卡")});
    EXPECT_FALSE(control().IsMoving());

    settings.cards(ScreenId::s) = CardListOf({gone});
    control().SelectCard(ScreenId::s, 0);
    control().MoveSelectedCard(ScreenId::s, ScreenId::h);
    EXPECT_EQ(op.texts(QStringLiteral("inform")).last(),
              MacText(gone.mac) + QStringLiteral("->连接超时！"));
    // The lists are searched again whatever the outcome.
    EXPECT_TRUE(control().IsMoving());
    ASSERT_TRUE(ProcessUntil([this] { return control().IsSearching(ScreenId::s); }));
    ASSERT_TRUE(ProcessUntil([this] { return SearchesDone(); }));
    EXPECT_TRUE(control().cards(ScreenId::s).empty());
}

TEST_F(ScreenParamControlTest, ReadbackWithCardsOnTheHorizontalScreenOnly) {
    const SimCardSpec a = CardFor(1, ScreenId::h, 384, 48, 4, 0);
    const SimCardSpec b = CardFor(2, ScreenId::h, 384, 48, 4, 0);
    Start({a, b});
    TScreenParams& vertical = settings.ActiveSettings.screen(ScreenId::s);
    vertical = TScreenParams{true, 2, 48, 320, 1, 3, 1, 0, 0};
    settings.ActiveSettings.screen(ScreenId::x).ScreenKind = false;
    // Whatever the dialog showed last is not what the readback starts from.
    control().page(ScreenId::s).ScreenWidth = 128;

    std::optional<std::array<int, 3>> counts;
    QObject::connect(&control(), &ScreenParamControl::readbackFinished,
                     [&counts](std::array<int, 3> found) { counts = found; });
    control().Readback();
    EXPECT_TRUE(control().IsReadingBack());
    ASSERT_TRUE(ProcessUntil([&counts] { return counts.has_value(); }));
    EXPECT_EQ(*counts, (std::array<int, 3>{2, 0, 0}));
    EXPECT_EQ(ReadbackMessage(*counts), QStringLiteral("发现2个横屏\n\u3000\u30000个纵屏\n"
                                                       "\u3000\u30000个小屏\n并回读屏幕参数"));
    EXPECT_EQ(control().page(ScreenId::s), vertical);
    EXPECT_FALSE(control().page(ScreenId::x).ScreenKind);
    const TScreenParams& h = control().page(ScreenId::h);
    EXPECT_TRUE(h.ScreenKind);
    EXPECT_EQ(Geometry(h), (std::array<int, 4>{384, 48, 4, 0}));

    control().CopyPagesToSettings(false);
    EXPECT_EQ(settings.ActiveSettings.screen(ScreenId::h).ScreenWidth, 384);
    EXPECT_EQ(settings.ActiveSettings.screen(ScreenId::s), vertical);
}

TEST(ParamAccess, Passwords) {
    EXPECT_EQ(ParamAccessFor(QStringLiteral("527")), ParamAccess::Restricted);
    EXPECT_EQ(ParamAccessFor(QStringLiteral("946")), ParamAccess::Service);
    for (const char* other : {"", "5270", " 527", "946 ", "abc"}) {
        EXPECT_FALSE(ParamAccessFor(QString::fromLatin1(other)).has_value()) << other;
    }
}

} // namespace
