// The main window's start-up, refresh, pages and closing.
#include "StationFixture.h"
#include "support/Wait.h"

#include "LiveTestSupport.h"

#include "TestTracks.h"

#include "support/Pictures.h"

#include "ui/ImageBox.h"
#include "ui/LineListView.h"
#include "ui/ManualControlForm.h"
#include "ui/PreviewForm.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

namespace {

// A show as an operator keeps it: a lyric with its track, a plain script and
// a project, listed in a playlist that the last session had open.
struct ShowFiles {
    QString lyric, track, script, project, playlist;
};

} // namespace

class MainWindowTest : public StationFixture {
protected:
    ShowFiles MakeShow() {
        ShowFiles show;
        show.lyric =
            WriteLines(QStringLiteral("song.lrc"), {QStringLiteral("[00:01.00]第一句歌词"),
                                                    QStringLiteral("[00:02.00]第二句歌词"),
                                                    QStringLiteral("[00:05.00]第三句歌词")});
        ToneTrack tone;
        tone.seconds = 3.0;
        show.track = MakeToneMp3(file(QStringLiteral("song.mp3")), tone);
        show.script = WriteLines(QStringLiteral("script.txt"),
                                 {QStringLiteral("今晚演出即将开始"), QStringLiteral("第一幕"),
                                  QStringLiteral("第二幕"), QStringLiteral("谢谢观看")});
        show.project = WriteLines(
            QStringLiteral("act.lpf"),
            {QStringLiteral("[ScreenParam]"), QStringLiteral("ScreenKind1=1"),
             QStringLiteral("ScreenWidth1=320"), QStringLiteral("ScreenHeight1=48"),
             QStringLiteral("[FontEffect]"), QStringLiteral(""), QStringLiteral("[Content]"),
             QStringLiteral("工程第一行"), QStringLiteral("工程第二行")});
        show.playlist =
            WriteLines(QStringLiteral("show.lft"), {show.lyric, show.script, show.project});
        return show;
    }

    SettingsStore ShowConfig(const ShowFiles& show) {
        SettingsStore store;
        TSettings& s = store.StoredSettings;
        s.screen(ScreenId::h) = TScreenParams{true, 1, 256, 32, 1, 0, 0, 1, 0};
        s.screen(ScreenId::s) = TScreenParams{true, 2, 32, 256, 1, 0, 0, 1, 0};
        s.screen(ScreenId::x) = TScreenParams{false, 1, 128, 16, 0, 0, 0, 1, 0};
        store.Play.LastOpenFile = show.playlist;
        store.Play.AutoPlayCaption = true;
        return store;
    }

    QStringList FileListNames() {
        QStringList names;
        QTreeWidget* files = find<QTreeWidget>(QStringLiteral("ListViewFileList"));
        for (int i = 0; i < files->topLevelItemCount(); ++i) {
            names << files->topLevelItem(i)->text(0);
        }
        return names;
    }
};

TEST_F(MainWindowTest, StartRestoresTheLastPlaylistWithItsFirstEntry) {
    const ShowFiles show = MakeShow();
    WriteConfig(ShowConfig(show));
    TMainForm& w = Start();

    EXPECT_EQ(w.windowTitle(),
              QStringLiteral("舞台字幕控制系统 -- [") + show.playlist + QStringLiteral("]"));
    EXPECT_EQ(FileListNames(),
              (QStringList{QStringLiteral("song.lrc"), QStringLiteral("script.txt"),
                           QStringLiteral("act.lpf")}));
    QTreeWidget* files = find<QTreeWidget>(QStringLiteral("ListViewFileList"));
    ASSERT_EQ(files->selectedItems().size(), 1);
    EXPECT_EQ(files->indexOfTopLevelItem(files->selectedItems().first()), 0);
    EXPECT_EQ(w.player().state(), PlayerState::Ready);
    EXPECT_EQ(w.player().trackPath(), show.track);

    // The lyric's lines with the time column.
    auto* lines = find<LineListView>(QStringLiteral("ListView1"));
    QAbstractItemModel* model = lines->model();
    ASSERT_EQ(model->rowCount(), 3);
    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("歌词"));
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("时间"));
    EXPECT_EQ(model->index(1, 1).data().toString(), QStringLiteral("第二句歌词"));
    EXPECT_EQ(model->index(1, 2).data().toString(), QStringLiteral("[00:02.00]"));
    EXPECT_EQ(lines->columnWidth(1), 480);

    // Previews of the screens in use, at their sizes; the small screen is not in use.
    auto* h = find<ImageBox>(QStringLiteral("Image1"));
    auto* s = find<ImageBox>(QStringLiteral("Image2"));
    auto* x = find<ImageBox>(QStringLiteral("Image3"));
    EXPECT_EQ(h->size(), QSize(256, 32));
    EXPECT_EQ(s->size(), QSize(32, 256));
    EXPECT_TRUE(h->isVisible());
    EXPECT_TRUE(s->isVisible());
    EXPECT_FALSE(x->isVisible());
    EXPECT_EQ(h->image().size(), QSize(256, 32));

    EXPECT_EQ(w.statusText(0), QStringLiteral("Space/Enter=发送; F4=清屏"));
    // The fixture's link is on loopback: a rehearsal, and it says so.
    EXPECT_EQ(w.statusText(1), QStringLiteral("演练"));
    EXPECT_EQ(find<QToolButton>(QStringLiteral("ButtonLight"))->text(), QStringLiteral("调亮(0)"));
    EXPECT_TRUE(w.manualControl().isVisible());
    EXPECT_EQ(w.manualControl().windowTitle(), QStringLiteral("手动播放控制"));

    // Choosing the script shows the text columns and its lines; the project
    // brings its own screen size to the preview.
    files->setCurrentItem(files->topLevelItem(1));
    EXPECT_EQ(w.document().document().path, show.script);
    EXPECT_EQ(model->rowCount(), 4);
    EXPECT_EQ(model->columnCount(), 2);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("内容"));
    EXPECT_EQ(model->index(0, 1).data().toString(), QStringLiteral("今晚演出即将开始"));
    files->setCurrentItem(files->topLevelItem(2));
    EXPECT_EQ(model->rowCount(), 2);
    EXPECT_EQ(h->size(), QSize(320, 48));
    EXPECT_EQ(find<QLabel>(QStringLiteral("LabelCurrentFile"))->text(), QStringLiteral("act.lpf"));
}

TEST_F(MainWindowTest, ButtonsFollowThePlayerAndTheLink) {
    const ShowFiles show = MakeShow();
    WriteConfig(ShowConfig(show));
    TMainForm& w = Start();
    const auto enabled = [this](const char* name) {
        return find<QWidget>(QString::fromLatin1(name))->isEnabled();
    };
    EXPECT_TRUE(enabled("CButtonPlay"));
    EXPECT_FALSE(enabled("CButtonPause"));
    EXPECT_TRUE(enabled("ListViewFileList"));
    EXPECT_TRUE(enabled("EButtonInput"));
    EXPECT_TRUE(enabled("EButtonRecordStart"));

    QTest::keyClick(&w, Qt::Key_F5);
    ASSERT_TRUE(w.live().IsConnected());
    EXPECT_EQ(find<QToolButton>(QStringLiteral("ButtonSent"))->text(), QStringLiteral("断开"));
    EXPECT_EQ(find<QAction>(QStringLiteral("MenuSent"))->text(), QStringLiteral("断开字幕机"));
    // A live link locks the playlist and the editing.
    EXPECT_FALSE(enabled("ListViewFileList"));
    EXPECT_FALSE(enabled("CButtonAdd"));
    EXPECT_FALSE(enabled("EButtonInput"));
    EXPECT_TRUE(enabled("CButtonPlay"));

    find<QToolButton>(QStringLiteral("CButtonPlay"))->click();
    EXPECT_EQ(w.player().state(), PlayerState::Playing);
    EXPECT_FALSE(enabled("CButtonPlay"));
    EXPECT_TRUE(enabled("CButtonPause"));
    EXPECT_TRUE(enabled("CButtonStop"));
    QTest::keyClick(&w, Qt::Key_F3);
    EXPECT_EQ(w.player().state(), PlayerState::Paused);
    EXPECT_TRUE(enabled("CButtonPlayFromHere"));
    // Tab while a file plays or pauses goes on to the next entry and plays it.
    QTest::keyClick(&w, Qt::Key_Tab);
    EXPECT_EQ(w.player().selectedEntry(), 1);
    EXPECT_EQ(w.document().document().path, show.script);
    EXPECT_EQ(w.player().state(), PlayerState::Playing);
    QTreeWidget* files = find<QTreeWidget>(QStringLiteral("ListViewFileList"));
    ASSERT_EQ(files->selectedItems().size(), 1);
    EXPECT_EQ(files->indexOfTopLevelItem(files->selectedItems().first()), 1);

    // Stop closes the link that play opened.
    find<QToolButton>(QStringLiteral("CButtonStop"))->click();
    EXPECT_EQ(w.player().state(), PlayerState::Ready);
    EXPECT_FALSE(w.live().IsConnected());
    EXPECT_EQ(find<QToolButton>(QStringLiteral("ButtonSent"))->text(), QStringLiteral("连接"));
    EXPECT_TRUE(enabled("ListViewFileList"));
}

TEST_F(MainWindowTest, ShowingTheEditingPageClosesTheLink) {
    const ShowFiles show = MakeShow();
    WriteConfig(ShowConfig(show));
    TMainForm& w = Start();
    QTest::keyClick(&w, Qt::Key_F5);
    ASSERT_TRUE(w.live().IsConnected());

    find<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
    EXPECT_FALSE(w.live().IsConnected());
    EXPECT_EQ(w.statusText(2), QStringLiteral("未连接屏幕，请先点连接按钮。"));
    EXPECT_EQ(find<QLabel>(QStringLiteral("LabelCurrentFile"))->text(), QStringLiteral("song.lrc"));
    EXPECT_TRUE(find<QWidget>(QStringLiteral("EButtonSave"))->isEnabled());
    find<QTabWidget>(QStringLiteral("PageControl1"))->setCurrentIndex(0);
    EXPECT_FALSE(w.live().IsConnected());
}

TEST_F(MainWindowTest, CommandsOfLaterWindowsSaySoAndLinkCommandsRefuse) {
    Start();
    struct Case {
        const char* action;
        QString shown;
    };
    const Case cases[] = {
        {"MenuLight", QStringLiteral("inform:请先连接字幕机再发送亮度命令。")},
        {"MenuClearScreen", QStringLiteral("inform:请先连接字幕机再发送清屏命令。")},
        {"MenuSendTempText", QStringLiteral("inform:请先连接字幕机再发送临时信息。")},
    };
    for (const Case& c : cases) {
        answers().shown.clear();
        find<QAction>(QString::fromLatin1(c.action))->trigger();
        EXPECT_EQ(answers().shown, QStringList{c.shown}) << c.action;
    }
    EXPECT_FALSE(find<QAction>(QStringLiteral("MenuBackImage"))->isVisible());

    // While connected, the screen parameters refuse before anything else.
    QTest::keyClick(&window(), Qt::Key_F5);
    answers().shown.clear();
    find<QAction>(QStringLiteral("MenuOptions"))->trigger();
    find<QAction>(QStringLiteral("ButtonSyn"))->trigger();
    EXPECT_EQ(answers().shown, (QStringList{QStringLiteral("inform:请先断开与字幕机的连接。"),
                                            QStringLiteral("inform:请先断开与字幕机的连接。")}));
    find<QAction>(QStringLiteral("MenuReset"))->trigger();
    EXPECT_EQ(window().statusText(2), QStringLiteral("发送复位命令完毕"));
}

TEST_F(MainWindowTest, HelpOpensTheManualAndAboutShowsItsBox) {
    Start();
    // Without a manual nothing is opened.
    find<QAction>(QStringLiteral("MenuHelpDoc"))->trigger();
    EXPECT_TRUE(openedUrls.isEmpty());
    EXPECT_EQ(window().statusText(2), QStringLiteral("找不到帮助文件：舞台字幕机使用说明.html"));
    const QString manual =
        WriteLines(QStringLiteral("舞台字幕机使用说明.html"), {QStringLiteral("<html></html>")});
    find<QAction>(QStringLiteral("MenuHelpDoc"))->trigger();
    ASSERT_EQ(openedUrls.size(), 1);
    EXPECT_EQ(openedUrls.first(), QUrl::fromLocalFile(manual));
    // A desktop with no program for it says so instead of doing nothing.
    window().openUrl = [](const QUrl&) { return false; };
    find<QAction>(QStringLiteral("MenuHelpDoc"))->trigger();
    EXPECT_EQ(window().statusText(2), QStringLiteral("没有可以打开帮助文件的程序：") + manual);

    answers().forms.push_back([](QDialog& about) {
        EXPECT_EQ(about.windowTitle(), QStringLiteral("关于"));
        return int(QDialog::Accepted);
    });
    find<QAction>(QStringLiteral("ButtonAbout"))->trigger();
    EXPECT_TRUE(answers().shown.contains(QStringLiteral("form:关于")));
}

// A station for the real network. The target is in a documentation range no
// real network uses, and these tests never connect: nothing is sent anywhere.
StationOptions RealNetworkOptions(StationOptions options) {
    options.link.target = *Ipv4Address::Parse(QStringLiteral("198.51.100.255"));
    return options;
}

TEST_F(MainWindowTest, ARehearsalOnLoopbackLeavesNoDesktopShortcut) {
    const QString entry = file(QStringLiteral("Desktop/舞台字幕机.desktop"));
    Start();
    EXPECT_FALSE(QFileInfo::exists(entry));
    find<QAction>(QStringLiteral("N6"))->trigger();
    EXPECT_FALSE(QFileInfo::exists(entry));
    EXPECT_EQ(window().statusText(2), QStringLiteral("演练时不创建桌面快捷方式"));
}

TEST_F(MainWindowTest, TheDesktopShortcutStartsTheStationWithItsOwnHome) {
    const QString entry = file(QStringLiteral("Desktop/舞台字幕机.desktop"));
    Start(RealNetworkOptions(Options()));
    ASSERT_TRUE(QFileInfo::exists(entry));
    const QString text = QString::fromUtf8(TempDir::read(entry));
    EXPECT_TRUE(text.contains(QStringLiteral(" --home ") + home()) ||
                text.contains(QStringLiteral(" --home \"") + home() + QLatin1Char('"')))
        << text.toStdString();
}

TEST_F(MainWindowTest, StartCreatesTheDesktopShortcutOnceAndNeverRewritesIt) {
    const QString entry = file(QStringLiteral("Desktop/舞台字幕机.desktop"));
    Start(RealNetworkOptions(Options()));
    ASSERT_TRUE(QFileInfo::exists(entry));
    // An operator's own edits of the shortcut survive the next start.
    QFile edited(entry);
    ASSERT_TRUE(edited.open(QIODevice::WriteOnly));
    edited.write("[Desktop Entry]\nName=mine\n");
    edited.close();
    window().close();
    Start(RealNetworkOptions(Options()));
    find<QAction>(QStringLiteral("N6"))->trigger();
    EXPECT_EQ(TempDir::read(entry), QByteArray("[Desktop Entry]\nName=mine\n"));
    EXPECT_TRUE(answers().shown.isEmpty()) << answers().shown.join(u'|').toStdString();
}

TEST_F(MainWindowTest, ClosingWhilePlayingStopsClosesTheLinkAndWritesTheSettings) {
    const ShowFiles show = MakeShow();
    SettingsStore config = ShowConfig(show);
    config.StoredSettings.Link.Light = 7;
    WriteConfig(config);
    TMainForm& w = Start();
    find<QToolButton>(QStringLiteral("CButtonPlay"))->click();
    ASSERT_EQ(w.player().state(), PlayerState::Playing);
    ASSERT_TRUE(w.live().IsConnected());
    // A setting changed in the window is kept.
    find<QComboBox>(QStringLiteral("ComboBoxPlayMode"))->setCurrentIndex(3);

    w.close();
    EXPECT_TRUE(w.hasClosed());
    EXPECT_EQ(w.player().state(), PlayerState::Ready);
    EXPECT_FALSE(w.live().IsConnected());
    const SettingsStore saved = ReadConfig();
    EXPECT_EQ(saved.Play.LastOpenFile, show.playlist);
    EXPECT_EQ(saved.Play.AutoPlayLoopMode, 3);
    EXPECT_EQ(saved.StoredSettings.Link.Light, 7);
    EXPECT_EQ(saved.StoredSettings.screen(ScreenId::s).ScreenHeight, 256);
}

TEST_F(MainWindowTest, ClosingWithAChangedUnsavedListAsksAndStillClosesWhenTheSaveIsDismissed) {
    const QString script =
        WriteLines(QStringLiteral("script.txt"), {QStringLiteral("一"), QStringLiteral("二")});
    SettingsStore config;
    config.Play.LastOpenFile = QStringLiteral("/nowhere/old.lft");
    WriteConfig(config);
    TMainForm& w = Start();
    answers().openFiles.push_back(script);
    find<QToolButton>(QStringLiteral("CButtonAdd"))->click();
    ASSERT_EQ(w.playlist().count(), 1);
    ASSERT_TRUE(w.playlist().changed());

    answers().shown.clear();
    answers().yesNo.push_back(true);
    answers().saveFiles.push_back(QString()); // the operator dismisses the save dialog
    w.close();
    EXPECT_TRUE(w.hasClosed());
    ASSERT_GE(answers().shown.size(), 2);
    EXPECT_EQ(answers().shown[0], QStringLiteral("ask:当前列表已经发生改变，是否保存？"));
    EXPECT_TRUE(answers().shown[1].startsWith(QStringLiteral("save:LED播放列表(*.lft)")));
    EXPECT_EQ(ReadConfig().Play.LastOpenFile, QString());
}

TEST_F(MainWindowTest, PagingKeysAndTheManualWindowStepTheLines) {
    const QString script =
        WriteLines(QStringLiteral("script.txt"), {QStringLiteral("一"), QStringLiteral("二"),
                                                  QStringLiteral("三"), QStringLiteral("四")});
    WriteLines(QStringLiteral("show.lft"), {script});
    SettingsStore config;
    config.StoredSettings.screen(ScreenId::h).ScreenKind = true;
    config.Play.LastOpenFile = file(QStringLiteral("show.lft"));
    WriteConfig(config);
    TMainForm& w = Start();
    auto* lines = find<LineListView>(QStringLiteral("ListView1"));

    // "下一条" with no line selected selects the first.
    w.manualControl().findChild<QPushButton*>(QStringLiteral("CButtonDel"))->click();
    EXPECT_EQ(w.player().selectedLine(), 0);
    EXPECT_EQ(lines->selectedRow(), 0);
    EXPECT_EQ(w.statusText(2), QStringLiteral("未连接屏幕，请先点连接按钮。"));

    QTest::keyClick(lines, Qt::Key_PageDown);
    EXPECT_EQ(w.player().selectedLine(), 1);
    QTest::keyClick(lines, Qt::Key_Space);
    EXPECT_EQ(w.player().selectedLine(), 2);
    QTest::keyClick(lines, Qt::Key_Return);
    EXPECT_EQ(w.player().selectedLine(), 3);
    QTest::keyClick(lines, Qt::Key_PageUp);
    EXPECT_EQ(w.player().selectedLine(), 2);
    EXPECT_EQ(lines->selectedRow(), 2);
    w.manualControl().findChild<QPushButton*>(QStringLiteral("CButtonAdd"))->click();
    EXPECT_EQ(w.player().selectedLine(), 1);
    // A click on a row selects it and renders it.
    lines->setCurrentIndex(lines->model()->index(3, 1));
    EXPECT_EQ(w.player().selectedLine(), 3);
    EXPECT_FALSE(w.renderer().previewImage(ScreenId::h).isNull());
}

TEST_F(MainWindowTest, ClosingWhileTheLinkWaitsForCardsClosesOnceTheWaitEnds) {
    // Three listed cards that never answer: the connect waits for each.
    SettingsStore config;
    config.StoredSettings.screen(ScreenId::h).ScreenKind = true;
    for (int i = 1; i <= 3; ++i) {
        config.cards(ScreenId::h).push_back({EntryFor(TestCard(40 + i).mac), {}});
    }
    WriteConfig(config);
    TMainForm& w = Start();
    bool closedDuringConnect = false;
    QTimer::singleShot(100, &w, [&] {
        EXPECT_TRUE(w.live().IsBusy());
        w.close();
        closedDuringConnect = w.hasClosed();
    });
    QTest::keyClick(&w, Qt::Key_F5);
    EXPECT_FALSE(closedDuringConnect);
    EXPECT_EQ(answers().shown.filter(QStringLiteral("->连接超时！")).size(), 3);
    // The close that came meanwhile runs now: the link is closed again and
    // the settings are written.
    ASSERT_EVENTUALLY(w.hasClosed(), 10000);
    EXPECT_FALSE(w.live().IsConnected());
    EXPECT_TRUE(QFileInfo::exists(configPath()));
}

TEST_F(MainWindowTest, DoubleClickingAPreviewOpensItsWindowInPlaceOfThePanel) {
    const ShowFiles show = MakeShow();
    WriteConfig(ShowConfig(show));
    TMainForm& w = Start();
    auto* image = find<ImageBox>(QStringLiteral("Image1"));
    QTest::mouseDClick(image, Qt::LeftButton);
    TPreviewForm& preview = w.previewWindow(ScreenId::h);
    EXPECT_TRUE(preview.isVisible());
    EXPECT_FALSE(find<QWidget>(QStringLiteral("Panel2"))->isVisible());
    EXPECT_EQ(preview.imageSize(), QSize(256, 32));
    // A line selected now shows in the window too.
    auto* lines = find<LineListView>(QStringLiteral("ListView1"));
    lines->setCurrentIndex(lines->model()->index(1, 1));
    EXPECT_EQ(preview.picture(), w.renderer().previewImage(ScreenId::h));

    preview.close();
    EXPECT_TRUE(find<QWidget>(QStringLiteral("Panel2"))->isVisible());
    // Closing the station with the window open keeps its place.
    QTest::mouseDClick(image, Qt::LeftButton);
    preview.findChild<QPushButton*>(QStringLiteral("ButtonZoomIn"))->click();
    w.close();
    EXPECT_EQ(ReadPreviewPlacement(configPath(), ScreenId::h).zoom, 2);
}

TEST_F(MainWindowTest, TheTextEffectDialogAppliesAtOnceAndPreviewSelectsTheFirstLine) {
    const ShowFiles show = MakeShow();
    WriteConfig(ShowConfig(show));
    TMainForm& w = Start();
    QTreeWidget* files = find<QTreeWidget>(QStringLiteral("ListViewFileList"));
    files->setCurrentItem(files->topLevelItem(1)); // the plain script
    auto* lines = find<LineListView>(QStringLiteral("ListView1"));
    lines->setCurrentIndex(lines->model()->index(2, 1));
    ASSERT_EQ(w.player().selectedLine(), 2);

    answers().forms.push_back([](QDialog& form) {
        EXPECT_EQ(form.windowTitle(), QStringLiteral("文字特效"));
        form.findChild<QComboBox*>(QStringLiteral("ComboBoxEffect1"))->setCurrentIndex(2);
        form.findChild<QRadioButton*>(QStringLiteral("RadioButtonAlignRight"))->setChecked(true);
        return int(QDialog::Accepted);
    });
    find<QAction>(QStringLiteral("ButtonFont"))->trigger();
    EXPECT_EQ(w.settings().ActiveSettings.effect(ScreenId::h).Effect, 2);
    EXPECT_EQ(w.settings().ActiveSettings.Text.Align, 3);
    // A plain script: the stored settings take the change.
    EXPECT_EQ(w.settings().StoredSettings.effect(ScreenId::h).Effect, 2);
    // The list was rebuilt and the screens blanked: nothing selected.
    EXPECT_EQ(w.player().selectedLine(), -1);
    EXPECT_EQ(lines->selectedRow(), -1);
    EXPECT_EQ(lines->align(), 3);

    // 预览 applies and shows the first line; the dialog may then be cancelled.
    answers().forms.push_back([](QDialog& form) {
        form.findChild<QComboBox*>(QStringLiteral("ComboBoxEffect1"))->setCurrentIndex(0);
        form.findChild<QPushButton*>(QStringLiteral("Button3"))->click();
        return int(QDialog::Rejected);
    });
    find<QAction>(QStringLiteral("MenuFont"))->trigger();
    EXPECT_EQ(w.settings().ActiveSettings.effect(ScreenId::h).Effect, 0);
    EXPECT_EQ(w.player().selectedLine(), 0);
    EXPECT_EQ(lines->selectedRow(), 0);
    EXPECT_FALSE(LitBounds(w.renderer().previewImage(ScreenId::h)).isNull());

    // Never during a live link.
    QTest::keyClick(&w, Qt::Key_F5);
    answers().shown.clear();
    find<QAction>(QStringLiteral("MenuFont"))->trigger();
    EXPECT_EQ(answers().shown, QStringList{QStringLiteral("inform:请先断开与字幕机的连接。")});
}
