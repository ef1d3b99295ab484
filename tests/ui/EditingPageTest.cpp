// The editing page of the main window: its buttons, dialogs, the new-file
// command, recording and leaving the page, all with pre-answered dialogs.
#include "StationFixture.h"

#include "TestTracks.h"

#include "support/FileSizeLimit.h"

#include "ui/EditForm.h"
#include "ui/LineListView.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace

class EditingPageTest : public StationFixture {
protected:
    // A lyric with its track, a plain script and a track without lyrics.
    void StartWithShow() {
        lyric = WriteLines(QStringLiteral("song.lrc"), {U("第一句"), U("第二句"), U("第三句")});
        ToneTrack tone;
        tone.seconds = 20.0;
        tone.lameOptions = {QStringLiteral("-b"), QStringLiteral("32")};
        track = MakeToneMp3(file(QStringLiteral("song.mp3")), tone);
        script = WriteLines(QStringLiteral("script.txt"), {U("第一幕"), U("第二幕"), U("第三幕")});
        bare = MakeToneMp3(file(QStringLiteral("bare.mp3")), ToneTrack{});
        SettingsStore store;
        store.Play.LastOpenFile = WriteLines(QStringLiteral("show.lft"), {lyric, script, bare});
        WriteConfig(store);
        Start();
    }

    void SelectEntry(int row) {
        QTreeWidget* files = find<QTreeWidget>(QStringLiteral("ListViewFileList"));
        files->setCurrentItem(files->topLevelItem(row));
        ASSERT_EQ(window().player().selectedEntry(), row);
    }
    void ShowPage(int page) {
        find<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(page);
    }
    int Page() { return find<QTabWidget>(QStringLiteral("PageControl1"))->currentIndex(); }
    void Click(const char* button) {
        QPushButton* b = find<QPushButton>(QString::fromLatin1(button));
        ASSERT_TRUE(b->isEnabled()) << button;
        b->click();
    }
    // The operator clicks a row of the line list.
    void ChooseRow(int row) {
        LineListView* list = find<LineListView>(QStringLiteral("ListView1"));
        list->setCurrentIndex(list->model()->index(row, 0));
    }
    void ClickRow(int row) {
        LineListView* list = find<LineListView>(QStringLiteral("ListView1"));
        const QRect cell = list->visualRect(list->model()->index(row, 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }
    const QStringList& Lines() { return window().document().document().lines; }
    QString RowText(int row) {
        return find<LineListView>(QStringLiteral("ListView1"))
            ->model()
            ->index(row, 1)
            .data()
            .toString();
    }

    // The one-line dialog: checks what it shows, then types `text` and OKs.
    void AnswerLine(const QString& caption, const QString& shown, const QString& text) {
        answers().forms.push_back([=](QDialog& d) {
            EXPECT_EQ(d.windowTitle(), caption);
            QLineEdit* edit = d.findChild<QLineEdit*>(QStringLiteral("Edit1"));
            EXPECT_EQ(edit->text(), shown);
            edit->setText(text);
            return int(QDialog::Accepted);
        });
    }

    QString lyric, track, script, bare;
};

TEST_F(EditingPageTest, LinesAreInsertedModifiedAndDeletedThroughTheirDialogs) {
    StartWithShow();
    SelectEntry(1);
    ShowPage(1);
    TMainForm& w = window();

    // Insert before the selected line; the new line is selected and shown.
    ChooseRow(1);
    AnswerLine(U("插入字幕"), QString(), U("幕间"));
    Click("EButtonInsert");
    EXPECT_EQ(Lines(), (QStringList{U("第一幕"), U("幕间"), U("第二幕"), U("第三幕")}));
    EXPECT_EQ(RowText(1), U("幕间"));
    EXPECT_EQ(w.player().selectedLine(), 1);
    EXPECT_EQ(find<LineListView>(QStringLiteral("ListView1"))->selectedRow(), 1);

    AnswerLine(U("修改字幕"), U("幕间"), U("中场休息"));
    Click("EButtonModify");
    EXPECT_EQ(Lines()[1], U("中场休息"));
    EXPECT_EQ(w.player().selectedLine(), 1);

    // Delete the last line: the new last line is selected.
    ChooseRow(3);
    answers().yesNo.push_back(true);
    Click("EButtonDelete");
    EXPECT_EQ(Lines(), (QStringList{U("第一幕"), U("中场休息"), U("第二幕")}));
    EXPECT_EQ(w.player().selectedLine(), 2);
    EXPECT_TRUE(answers().shown.contains(U("ask:您确定要删除这条字幕吗?")));

    // A cancelled dialog changes nothing.
    answers().forms.push_back([](QDialog&) { return int(QDialog::Rejected); });
    Click("EButtonModify");
    EXPECT_EQ(Lines().size(), 3);

    Click("EButtonSave");
    EXPECT_FALSE(w.document().document().modified);
    EXPECT_EQ(TempDir::read(script), EncodeGbk(U("第一幕\r\n中场休息\r\n第二幕\r\n")));
    // Nothing left to ask about on the way back.
    answers().shown.clear();
    ShowPage(0);
    EXPECT_TRUE(answers().shown.isEmpty());
}

TEST_F(EditingPageTest, WholeScriptEditorAndImport) {
    StartWithShow();
    SelectEntry(1);
    ShowPage(1);
    answers().forms.push_back([](QDialog& d) {
        auto& editor = static_cast<TEditForm&>(d);
        EXPECT_EQ(d.windowTitle(), U("剧本编辑"));
        EXPECT_EQ(editor.statusText(), U("共 3 句字幕"));
        EXPECT_EQ(editor.text(), U("第一幕\n第二幕\n第三幕"));
        d.findChild<QTextEdit*>(QStringLiteral("RichEdit1"))->setPlainText(U("改掉了"));
        return int(QDialog::Rejected);
    });
    Click("EButtonEdit");
    EXPECT_EQ(Lines().size(), 3);
    EXPECT_FALSE(window().document().document().modified);

    answers().forms.push_back([](QDialog& d) {
        d.findChild<QTextEdit*>(QStringLiteral("RichEdit1"))->setPlainText(U("序幕\n\n尾声"));
        return int(QDialog::Accepted);
    });
    Click("EButtonEdit");
    EXPECT_EQ(Lines(), (QStringList{U("序幕"), QString(), U("尾声")}));
    EXPECT_EQ(RowText(2), U("尾声"));
    EXPECT_TRUE(window().document().document().modified);

    const QString imported = file(QStringLiteral("utf8.txt"));
    QFile out(imported);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QByteArray("\xEF\xBB\xBF") + U("\u3000\u3000开场白\u3000\n甲　乙\n").toUtf8());
    out.close();
    answers().openFiles.push_back(imported);
    Click("EButtonInput");
    EXPECT_EQ(Lines(), (QStringList{U("开场白"), U("甲  乙")}));
    EXPECT_EQ(RowText(0), U("开场白"));

    // Back to the playlist: No reads the script again.
    answers().yesNo.push_back(false);
    ShowPage(0);
    EXPECT_TRUE(answers().shown.contains(U("ask:当前字幕已经修改，是否保存？")));
    EXPECT_EQ(Lines(), (QStringList{U("第一幕"), U("第二幕"), U("第三幕")}));
    EXPECT_FALSE(window().document().document().modified);
}

TEST_F(EditingPageTest, ASaveThatCannotBeWrittenKeepsEveryEditAndThePage) {
    StartWithShow();
    SelectEntry(1);
    ShowPage(1);
    const QByteArray onDisk = TempDir::read(script);
    answers().forms.push_back([](QDialog& d) {
        d.findChild<QTextEdit*>(QStringLiteral("RichEdit1"))
            ->setPlainText(QStringList(200, U("一小时的修改")).join(u'\n'));
        return int(QDialog::Accepted);
    });
    Click("EButtonEdit");
    const QStringList edited = Lines();
    {
        // A full disk as far as the station can tell, also for root.
        FileSizeLimit limit(128);
        answers().shown.clear();
        Click("EButtonSave");
        ASSERT_EQ(answers().shown.size(), 1);
        EXPECT_TRUE(answers().shown[0].startsWith(QStringLiteral("error:")));
        EXPECT_TRUE(answers().shown[0].contains(QStringLiteral("script.txt")));
        EXPECT_TRUE(window().document().document().modified);

        // Leaving the page: the save fails again, and the page stays.
        answers().yesNo.push_back(true);
        ShowPage(0);
        EXPECT_EQ(Page(), 1);
        EXPECT_EQ(Lines(), edited);
        EXPECT_TRUE(window().document().document().modified);
    }
    EXPECT_EQ(TempDir::read(script), onDisk);
    answers().yesNo.push_back(true);
    ShowPage(0);
    EXPECT_EQ(Page(), 0);
    EXPECT_FALSE(window().document().document().modified);
    EXPECT_EQ(TempDir::read(script), JoinLinesGbk(edited));
}

TEST_F(EditingPageTest, NewLyricFileForTheSelectedTrack) {
    StartWithShow();
    SelectEntry(2);
    EXPECT_EQ(window().playlist().rows()[2].firstMarker, kNoMarker);
    answers().forms.push_back([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), U("新建字幕"));
        auto* track = d.findChild<QRadioButton*>(QStringLiteral("RadioButton1"));
        EXPECT_TRUE(track->isEnabled());
        EXPECT_TRUE(track->isChecked());
        EXPECT_FALSE(d.findChild<QRadioButton*>(QStringLiteral("RadioButtonType1"))->isEnabled());
        return int(QDialog::Accepted);
    });
    find<QToolButton>(QStringLiteral("CButtonNew"))->click();
    const QString made = file(QStringLiteral("bare.lrc"));
    EXPECT_TRUE(QFileInfo(made).isFile());
    EXPECT_EQ(window().document().document().path, made);
    EXPECT_EQ(window().playlist().rows()[2].firstMarker, 3);
    EXPECT_EQ(Page(), 1);
    EXPECT_TRUE(find<QPushButton>(QStringLiteral("EButtonRecordStart"))->isEnabled());

    // With a lyric file now, the track option is no longer offered.
    ShowPage(0);
    answers().forms.push_back([](QDialog& d) {
        EXPECT_FALSE(d.findChild<QRadioButton*>(QStringLiteral("RadioButton1"))->isEnabled());
        EXPECT_TRUE(d.findChild<QRadioButton*>(QStringLiteral("RadioButton2"))->isChecked());
        return int(QDialog::Rejected);
    });
    find<QToolButton>(QStringLiteral("CButtonNew"))->click();
    EXPECT_EQ(Page(), 0);
}

TEST_F(EditingPageTest, NewIndependentProjectUnderAnExistingName) {
    StartWithShow();
    SelectEntry(1);
    const auto chooseProject = [](QDialog& d) {
        EXPECT_FALSE(d.findChild<QRadioButton*>(QStringLiteral("RadioButton1"))->isEnabled());
        d.findChild<QRadioButton*>(QStringLiteral("RadioButtonType3"))->setChecked(true);
        return int(QDialog::Accepted);
    };
    const QString taken = WriteLines(QStringLiteral("act.lpf"), {U("[Content]"), U("别删我")});
    answers().forms.push_back(chooseProject);
    answers().saveFiles.push_back(file(QStringLiteral("act")));
    answers().yesNo.push_back(false);
    find<QToolButton>(QStringLiteral("CButtonNew"))->click();
    EXPECT_EQ(TempDir::read(taken), EncodeGbk(U("[Content]\r\n别删我\r\n")));
    EXPECT_EQ(window().playlist().count(), 3);
    EXPECT_EQ(Page(), 0);

    answers().forms.push_back(chooseProject);
    answers().saveFiles.push_back(file(QStringLiteral("act2")));
    find<QToolButton>(QStringLiteral("CButtonNew"))->click();
    const QString made = file(QStringLiteral("act2.lpf"));
    ASSERT_EQ(window().playlist().count(), 4);
    EXPECT_EQ(window().playlist().entries().last(), made);
    EXPECT_EQ(window().player().selectedEntry(), 3);
    EXPECT_EQ(window().document().document().path, made);
    EXPECT_TRUE(TempDir::read(made).startsWith("[ScreenParam]\r\n"));
    EXPECT_FALSE(window().document().document().modified);
    // The playlist has a new entry: closing offers to save it.
    answers().yesNo.push_back(false);
    EXPECT_EQ(Page(), 1);
}

TEST_F(EditingPageTest, RecordingFromThePageStampsLinesAndEndsOnLeaving) {
    StartWithShow();
    SelectEntry(0);
    ShowPage(1);
    TMainForm& w = window();
    Click("EButtonRecordStart");
    ASSERT_EQ(w.player().state(), PlayerState::Recording);
    EXPECT_FALSE(find<QPushButton>(QStringLiteral("EButtonRecordStart"))->isEnabled());
    EXPECT_TRUE(find<QPushButton>(QStringLiteral("EButtonRecordStop"))->isEnabled());
    EXPECT_FALSE(find<QPushButton>(QStringLiteral("EButtonInsert"))->isEnabled());

    ClickRow(0);
    EXPECT_EQ(w.player().selectedLine(), 0);
    QTest::keyClick(&w, Qt::Key_PageDown);
    ASSERT_EQ(w.player().selectedLine(), 1);
    const LineList& items = w.document().lines();
    // The track has only just started: the first seconds of it.
    EXPECT_TRUE(items[0].Source.startsWith(QStringLiteral("[00:0")))
        << items[0].Source.toStdString();
    EXPECT_TRUE(items[1].Source.startsWith(QStringLiteral("[00:0")));
    EXPECT_LE(items[0].Source, items[1].Source);
    EXPECT_TRUE(items[2].Source.isEmpty());
    EXPECT_EQ(Lines()[1], items[1].Source + U("第二句"));
    EXPECT_EQ(
        find<LineListView>(QStringLiteral("ListView1"))->model()->index(1, 2).data().toString(),
        items[1].Source);

    Click("EButtonRecordStop");
    EXPECT_EQ(w.player().state(), PlayerState::Ready);
    Click("EButtonRecordStart");
    ASSERT_EQ(w.player().state(), PlayerState::Recording);
    // Leaving the page ends the recording before the question about the edits.
    answers().yesNo.push_back(true);
    ShowPage(0);
    EXPECT_EQ(w.player().state(), PlayerState::Ready);
    EXPECT_FALSE(w.document().document().modified);
    EXPECT_TRUE(TempDir::read(lyric).startsWith(EncodeGbk(items[0].Source + U("第一句"))));
}

TEST_F(EditingPageTest, ClosingTheStationOffersToSaveTheEdits) {
    StartWithShow();
    SelectEntry(1);
    ShowPage(1);
    ChooseRow(0);
    AnswerLine(U("插入字幕"), QString(), U("开演前"));
    Click("EButtonInsert");
    answers().yesNo.push_back(true);
    window().close();
    EXPECT_TRUE(answers().shown.contains(U("ask:当前字幕已经修改，是否保存？")));
    EXPECT_EQ(TempDir::read(script), EncodeGbk(U("开演前\r\n第一幕\r\n第二幕\r\n第三幕\r\n")));
}
