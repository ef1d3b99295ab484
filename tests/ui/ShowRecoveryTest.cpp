// The show journal from the main window: a window that ends without its
// close (as a killed station does) comes back on the same entry and line
// with the link open and the screens as the audience saw them; a clean end
// starts anew; unsaved script edits survive either way.
#include "OneCardStation.h"
#include "support/Wait.h"

#include "LiveTestSupport.h"
#include "TestTracks.h"

#include "support/FileSizeLimit.h"

#include "ui/LineListView.h"

#include "CardBank.h"
#include "show/ShowSession.h"

#include <chrono>

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace

class ShowRecoveryTest : public OneCardStation {
protected:
    void SetUp() override {
        OneCardStation::SetUp();
        opening = WriteLines(QStringLiteral("opening.txt"), {U("开场白")});
        script = WriteLines(QStringLiteral("script.txt"),
                            {U("第一幕"), U("第二幕"), U("第三幕"), U("第四幕")});
    }

    SettingsStore ShowConfig(const QStringList& entries) {
        return OneCardConfig(WriteLines(QStringLiteral("show.lft"), entries));
    }

    QImage Expected(TMainForm& w) {
        return Thresholded(w.renderer().previewImage(ScreenId::h), ColourKind::Dual);
    }
    int Swaps() { return m_bank->Card(m_card.mac)->swaps; }

    LineListView* Lines() { return find<LineListView>(QStringLiteral("ListView1")); }
    int FileRow() {
        QTreeWidget* files = find<QTreeWidget>(QStringLiteral("ListViewFileList"));
        return files->currentItem() ? files->indexOfTopLevelItem(files->currentItem()) : -1;
    }
    void SelectEntry(int row) {
        QTreeWidget* files = find<QTreeWidget>(QStringLiteral("ListViewFileList"));
        files->setCurrentItem(files->topLevelItem(row));
        ASSERT_EQ(window().player().selectedEntry(), row);
    }
    // Connected, with the second entry's third line on the card.
    QImage ConnectAndStepToTheThirdLine() {
        TMainForm& w = window();
        SelectEntry(1);
        QTest::keyClick(&w, Qt::Key_F5);
        EXPECT_TRUE(w.live().IsConnected());
        Lines()->setCurrentIndex(Lines()->model()->index(0, 1));
        QTest::keyClick(Lines(), Qt::Key_Return);
        QTest::keyClick(Lines(), Qt::Key_Return);
        EXPECT_EQ(w.player().selectedLine(), 2);
        [&] {
            const bool same = WaitUntil([&] { return Shown() == Expected(w); }, 10000);
            const FrameReport last = w.worker().LastFrame(ScreenId::h);
            ASSERT_TRUE(same) << "the card shows another picture; the last frame reached "
                              << last.shown << " of " << last.cards << " cards (frame "
                              << last.frames << "); swaps " << card().swaps << ", connected "
                              << w.live().IsConnected();
        }();
        return Shown();
    }
    // F6 with "中场休息 / 十五分钟", or 清屏 from the menu.
    void ShowMessageOrClear(TMainForm& w, bool message) {
        if (!message) {
            find<QAction>(QStringLiteral("MenuClearScreen"))->trigger();
            return;
        }
        answers().forms.push_back([](QDialog& form) {
            form.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(U("中场休息"));
            form.findChild<QLineEdit*>(QStringLiteral("Edit2"))->setText(U("十五分钟"));
            return int(QDialog::Accepted);
        });
        QTest::keyClick(&w, Qt::Key_F6);
    }
    void ShowPage(int page) {
        find<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(page);
    }
    int Page() { return find<QTabWidget>(QStringLiteral("PageControl1"))->currentIndex(); }
    // On the editing page of the second entry, "开演前" inserted before its
    // first line and not saved.
    void InsertALineWithoutSaving() {
        SelectEntry(1);
        ShowPage(1);
        Lines()->setCurrentIndex(Lines()->model()->index(0, 0));
        answers().forms.push_back([](QDialog& d) {
            d.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QString::fromUtf8("开演前"));
            return int(QDialog::Accepted);
        });
        find<QPushButton>(QStringLiteral("EButtonInsert"))->click();
        ASSERT_TRUE(window().document().document().modified);
    }
    const QStringList edited{U("开演前"), U("第一幕"), U("第二幕"), U("第三幕"), U("第四幕")};

    QString opening;
    QString script;
};

TEST_F(ShowRecoveryTest, AfterAKillTheShowIsBackOnItsLineWithTheLinkOpenUnasked) {
    WriteConfig(ShowConfig({opening, script}));
    Start();
    const QImage third = ConnectAndStepToTheThirdLine();
    find<QToolButton>(QStringLiteral("ButtonLight"))->click();
    find<QToolButton>(QStringLiteral("ButtonLight"))->click();
    const int swaps = Swaps();
    Abandon();

    TMainForm& w = Start();
    ASSERT_EVENTUALLY(w.live().IsConnected(), 10000);
    EXPECT_EQ(w.player().selectedEntry(), 1);
    EXPECT_EQ(FileRow(), 1);
    EXPECT_EQ(w.player().selectedLine(), 2);
    EXPECT_EQ(Lines()->selectedRow(), 2);
    EXPECT_EQ(find<QToolButton>(QStringLiteral("ButtonSent"))->text(), U("断开"));
    EXPECT_EQ(find<QToolButton>(QStringLiteral("ButtonLight"))->text(), U("调亮(2)"));
    EXPECT_EQ(w.statusText(2), U("已从异常退出中恢复：第 3 句"));
    // Sent again, not merely still standing on the card.
    ASSERT_EVENTUALLY(Swaps() > swaps, 10000);
    ASSERT_EVENTUALLY_EQ(Shown(), third, 10000);
    ASSERT_EVENTUALLY_EQ(m_bank->Card(m_card.mac)->brightness, 2, 10000);
    EXPECT_EQ(answers().shown, QStringList());
}

TEST_F(ShowRecoveryTest, AMessageOrClearedScreensComeBackAsTheAudienceSawThem) {
    for (const bool message : {true, false}) {
        SCOPED_TRACE(message ? "temporary message" : "cleared screens");
        WriteConfig(ShowConfig({opening, script}));
        TMainForm& before = Start();
        ConnectAndStepToTheThirdLine();
        ShowMessageOrClear(before, message);
        ASSERT_EVENTUALLY_EQ(Shown(), Expected(before), 10000);
        const QImage seen = Shown();
        const int swaps = Swaps();
        Abandon();

        TMainForm& w = Start();
        ASSERT_EVENTUALLY(w.live().IsConnected(), 10000);
        EXPECT_EQ(w.player().selectedLine(), 2);
        // Sent again after the connect: the connect's blank frame and the
        // picture may be one swap when the worker takes only the later one.
        ASSERT_EVENTUALLY(Swaps() > swaps, 10000);
        ASSERT_TRUE(w.worker().WaitUntilIdle(std::chrono::seconds(10)));
        EXPECT_EQ(Expected(w), seen);
        // A card that missed a wait on a loaded machine is marked offline and
        // gets the next frame; one that took this frame shows the picture.
        const FrameReport last = w.worker().LastFrame(ScreenId::h);
        if (last.shown == last.cards) {
            EXPECT_EQ(Shown(), seen);
        }
        w.close();
    }
}

// Keys (or remote commands) in quick succession: the line change has not been
// captured yet when the message or the clearing comes.
TEST_F(ShowRecoveryTest, AMessageRightAfterALineChangeIsWhatComesBack) {
    for (const bool message : {true, false}) {
        SCOPED_TRACE(message ? "temporary message" : "cleared screens");
        WriteConfig(ShowConfig({opening, script}));
        TMainForm& before = Start();
        ConnectAndStepToTheThirdLine();
        // No event runs between the two keys.
        QTest::keyClick(Lines(), Qt::Key_Up);
        ShowMessageOrClear(before, message);
        ASSERT_EQ(before.player().selectedLine(), 1);
        const QImage preview = Expected(before);
        Abandon();

        TMainForm& w = Start();
        ASSERT_EVENTUALLY(w.live().IsConnected(), 10000);
        EXPECT_EQ(w.player().selectedLine(), 1);
        ASSERT_TRUE(w.worker().WaitUntilIdle(std::chrono::seconds(10)));
        EXPECT_EQ(Expected(w), preview);
        w.close();
    }
}

TEST_F(ShowRecoveryTest, ACleanEndStartsAnewAsEveryStartDoes) {
    for (const bool unattended : {false, true}) {
        SCOPED_TRACE(unattended ? "terminating signal" : "window closed");
        WriteConfig(ShowConfig({opening, script}));
        Start();
        ConnectAndStepToTheThirdLine();
        if (unattended) {
            window().CloseUnattended();
        } else {
            window().close();
        }
        ASSERT_TRUE(window().hasClosed());

        TMainForm& w = Start();
        ASSERT_EVENTUALLY(w.showSession().startUpFinished(), 10000);
        EXPECT_FALSE(w.showSession().recovered());
        EXPECT_FALSE(w.live().IsConnected());
        EXPECT_EQ(w.player().selectedEntry(), 0);
        EXPECT_EQ(w.player().selectedLine(), -1);
        EXPECT_NE(w.statusText(2), U("已从异常退出中恢复：第 3 句"));
        w.close();
    }
}

TEST_F(ShowRecoveryTest, AnEntryAddedButNeverSavedComesBackSelected) {
    WriteConfig(ShowConfig({opening}));
    Start();
    answers().openFiles.push_back(script);
    find<QToolButton>(QStringLiteral("CButtonAdd"))->click();
    ASSERT_EQ(window().player().selectedEntry(), 1);
    QTest::keyClick(&window(), Qt::Key_F5);
    Lines()->setCurrentIndex(Lines()->model()->index(1, 1));
    Abandon();

    TMainForm& w = Start();
    ASSERT_EVENTUALLY(w.live().IsConnected(), 10000);
    EXPECT_EQ(w.playlist().entries(), QStringList({opening, script}));
    EXPECT_TRUE(w.playlist().changed());
    EXPECT_EQ(w.player().selectedEntry(), 1);
    EXPECT_EQ(w.player().selectedLine(), 1);
    // The list was never saved: closing asks, as it would have.
    answers().yesNo.push_back(false);
    w.close();
    EXPECT_TRUE(answers().shown.contains(U("ask:当前列表已经发生改变，是否保存？")));
}

TEST_F(ShowRecoveryTest, WithPauseAfterRecoveryALyricStandsWhereTheJournalLeftIt) {
    const QString lyric =
        WriteLines(QStringLiteral("song.lrc"),
                   {U("[00:00.50]第一句"), U("[00:01.00]第二句"), U("[00:30.00]第三句")});
    ToneTrack tone;
    tone.seconds = 40.0;
    tone.lameOptions = {QStringLiteral("-b"), QStringLiteral("32")};
    MakeToneMp3(file(QStringLiteral("song.mp3")), tone);
    SettingsStore config = ShowConfig({lyric});
    config.Play.AutoPlayCaption = true;
    WriteConfig(config);
    TMainForm& first = Start();
    find<QAction>(QStringLiteral("MenuPauseAfterRecovery"))->setChecked(true);
    EXPECT_TRUE(LoadRecoveryOptions(configPath()).pauseAfterRecovery);
    QTest::keyClick(&first, Qt::Key_F1);
    ASSERT_EQ(first.player().state(), PlayerState::Playing);
    ASSERT_EVENTUALLY(first.player().PositionMs() >= 1500, 20000);
    Abandon();
    const std::optional<ShowState> journal =
        ShowJournal::ReadJournal(ShowSession::JournalPath(file(QStringLiteral("data"))));
    ASSERT_TRUE(journal.has_value());
    ASSERT_EQ(journal->player, PlayerState::Playing);

    TMainForm& w = Start();
    ASSERT_EVENTUALLY_EQ(w.player().state(), PlayerState::Paused, 10000);
    EXPECT_TRUE(w.live().IsConnected());
    EXPECT_TRUE(find<QAction>(QStringLiteral("MenuPauseAfterRecovery"))->isChecked());
    EXPECT_NEAR(double(w.player().PositionMs()), double(journal->positionMs), 30.0);
    EXPECT_EQ(w.player().selectedLine(), 1);
    // F2 plays on from there.
    QTest::keyClick(&w, Qt::Key_F2);
    EXPECT_EQ(w.player().state(), PlayerState::Playing);
    ASSERT_EVENTUALLY(w.player().PositionMs() > journal->positionMs + 200, 10000);
    EXPECT_LT(w.player().PositionMs(), journal->positionMs + 10000);
}

TEST_F(ShowRecoveryTest, UnsavedEditsAreOfferedAndOnlyAYesBringsThemBack) {
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "yes" : "no");
        WriteConfig(ShowConfig({opening, script}));
        const QByteArray onDisk = TempDir::read(script);
        Start();
        InsertALineWithoutSaving();
        Abandon();

        answers().shown.clear();
        answers().yesNo.push_back(yes);
        TMainForm& w = Start();
        ASSERT_EVENTUALLY_EQ(answers().shown,
                             QStringList{U("ask:发现未保存的字幕修改，是否恢复？")}, 10000);
        EXPECT_EQ(w.document().document().path, script);
        EXPECT_EQ(w.document().document().lines, yes ? edited : SplitLines(DecodeGbk(onDisk)));
        EXPECT_EQ(w.document().document().modified, yes);
        EXPECT_EQ(Page(), yes ? 1 : 0);
        // Never written over the operator's file without a save.
        EXPECT_EQ(TempDir::read(script), onDisk);

        // Asked once: a declined copy is gone, an accepted one is the edits
        // again, offered after the next kill too.
        Abandon();
        answers().shown.clear();
        if (yes) {
            answers().yesNo.push_back(false);
        }
        Start();
        ASSERT_EVENTUALLY(window().showSession().startUpFinished(), 10000);
        EXPECT_EQ(answers().shown,
                  yes ? QStringList{U("ask:发现未保存的字幕修改，是否恢复？")} : QStringList());
        window().close();
    }
}

TEST_F(ShowRecoveryTest, ACloseWhoseSaveFailsKeepsTheStationOpenWithTheEdits) {
    WriteConfig(ShowConfig({opening, script}));
    const QByteArray onDisk = TempDir::read(script);
    Start();
    InsertALineWithoutSaving();
    {
        FileSizeLimit full(16);
        answers().shown.clear();
        answers().yesNo.push_back(true);
        window().close();
        EXPECT_FALSE(window().hasClosed());
        EXPECT_TRUE(window().isVisible());
        ASSERT_EQ(answers().shown.size(), 2);
        EXPECT_TRUE(answers().shown[1].startsWith(QStringLiteral("error:")));
        EXPECT_EQ(window().document().document().lines, edited);
        EXPECT_TRUE(window().document().document().modified);
        EXPECT_EQ(Page(), 1);
    }
    EXPECT_EQ(TempDir::read(script), onDisk);
    answers().yesNo.push_back(true);
    window().close();
    EXPECT_TRUE(window().hasClosed());
    EXPECT_EQ(TempDir::read(script), JoinLinesGbk(edited));
}

TEST_F(ShowRecoveryTest, AnUnattendedCloseKeepsTheEditsBesideTheScriptAndSaysWhereNextTime) {
    WriteConfig(ShowConfig({opening, script}));
    const QByteArray onDisk = TempDir::read(script);
    Start();
    InsertALineWithoutSaving();
    answers().shown.clear();
    window().CloseUnattended();
    ASSERT_TRUE(window().hasClosed());
    EXPECT_EQ(answers().shown, QStringList()) << "a signal cannot wait for an answer";
    EXPECT_EQ(TempDir::read(script), onDisk);
    const QString kept = file(QStringLiteral("script.未保存.txt"));
    EXPECT_EQ(TempDir::read(kept), JoinLinesGbk(edited));

    TMainForm& w = Start();
    ASSERT_EVENTUALLY_EQ(answers().shown,
                         QStringList{QStringLiteral("inform:") + ShowSession::KeptAtMessage(kept)},
                         10000);
    EXPECT_FALSE(w.live().IsConnected());
    EXPECT_FALSE(w.document().document().modified);
    // Said once.
    w.close();
    answers().shown.clear();
    Start();
    ASSERT_EVENTUALLY(window().showSession().startUpFinished(), 10000);
    EXPECT_EQ(answers().shown, QStringList());
}
