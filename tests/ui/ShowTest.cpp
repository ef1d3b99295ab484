// A show run from the main window against simulated cards on loopback: the
// keys an operator uses, what the cards display, and a lyric following its track.
#include "OneCardStation.h"
#include "support/Wait.h"

#include "LiveTestSupport.h"
#include "TestTracks.h"

#include "ui/ImageBox.h"
#include "ui/LineListView.h"
#include "ui/MonitorForm.h"
#include "ui/TempForm.h"

#include "CardBank.h"
#include "link/FrameEncoding.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>

class ShowTest : public OneCardStation {
protected:
    // What the card must show for the station's current preview of screen h.
    QImage Expected(TMainForm& w) {
        return Thresholded(w.renderer().previewImage(ScreenId::h), ColourKind::Dual);
    }
};

TEST_F(ShowTest, KeysDriveTheCardsFromConnectToDisconnect) {
    const QString script = WriteLines(
        QStringLiteral("script.txt"),
        {QStringLiteral("今晚演出即将开始"), QStringLiteral("第一幕"), QStringLiteral("第二幕")});
    const QString playlist = WriteLines(QStringLiteral("show.lft"), {script});
    WriteConfig(OneCardConfig(playlist));
    TMainForm& w = Start();
    auto* lines = find<LineListView>(QStringLiteral("ListView1"));
    lines->setCurrentIndex(lines->model()->index(0, 1));

    QTest::keyClick(&w, Qt::Key_F5);
    ASSERT_TRUE(w.live().IsConnected());
    EXPECT_EQ(w.statusText(2), QStringLiteral("【字幕】 今晚演出即将开始"));
    // Connecting sends the selected line at once.
    ASSERT_EVENTUALLY(!Shown().isNull(), 10000);
    ASSERT_EVENTUALLY_EQ(Shown(), Expected(w), 10000);
    const QImage first = Shown();

    QTest::keyClick(lines, Qt::Key_Return);
    EXPECT_EQ(w.player().selectedLine(), 1);
    EXPECT_EQ(w.statusText(2), QStringLiteral("【字幕】 第一幕"));
    ASSERT_EVENTUALLY_EQ(Shown(), Expected(w), 10000);
    EXPECT_NE(Shown(), first);

    QTest::keyClick(lines, Qt::Key_Space);
    EXPECT_EQ(w.player().selectedLine(), 2);
    ASSERT_EVENTUALLY_EQ(Shown(), Expected(w), 10000);

    // F6: a temporary message typed into the text dialog.
    answers().forms.push_back([](QDialog& form) {
        EXPECT_EQ(form.windowTitle(), QStringLiteral("发送临时信息"));
        form.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("中场休息"));
        form.findChild<QLineEdit*>(QStringLiteral("Edit2"))->setText(QString());
        return int(QDialog::Accepted);
    });
    QTest::keyClick(&w, Qt::Key_F6);
    EXPECT_EQ(w.statusText(2), QStringLiteral("【字幕】 中场休息   "));
    ASSERT_EVENTUALLY_EQ(Shown(), Expected(w), 10000);
    // A cancelled message changes nothing.
    answers().forms.push_back([](QDialog&) { return int(QDialog::Rejected); });
    QTest::keyClick(&w, Qt::Key_F6);
    EXPECT_EQ(w.statusText(2), QStringLiteral("【字幕】 中场休息   "));

    // The brightness button steps its caption and the card's level.
    auto* light = find<QToolButton>(QStringLiteral("ButtonLight"));
    light->click();
    EXPECT_EQ(light->text(), QStringLiteral("调亮(1)"));
    light->click();
    EXPECT_EQ(light->text(), QStringLiteral("调亮(2)"));
    EXPECT_EQ(w.statusText(2), QStringLiteral("发送亮度命令完毕"));
    ASSERT_EVENTUALLY_EQ(m_bank->Card(m_card.mac)->brightness, 2, 10000);

    // Clearing blanks the card.
    find<QAction>(QStringLiteral("MenuClearScreen"))->trigger();
    EXPECT_EQ(w.statusText(2), QStringLiteral("发送清除屏幕命令完毕"));
    ASSERT_EVENTUALLY_EQ(Shown(), Expected(w), 10000);
    const QImage blank = Shown();
    for (int y = 0; y < blank.height(); ++y) {
        for (int x = 0; x < blank.width(); ++x) {
            ASSERT_EQ(blank.pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
        }
    }

    const int disconnectsBefore = m_bank->Card(m_card.mac)->disconnects;
    QTest::keyClick(&w, Qt::Key_F5);
    EXPECT_FALSE(w.live().IsConnected());
    EXPECT_EQ(m_bank->Card(m_card.mac)->disconnects, disconnectsBefore + 1);
    EXPECT_EQ(find<QToolButton>(QStringLiteral("ButtonSent"))->text(), QStringLiteral("连接"));
    EXPECT_EQ(w.statusText(2), QStringLiteral("未连接屏幕，请先点连接按钮。"));
}

TEST_F(ShowTest, AnUnreachableCardIsReportedAndTheMonitorShowsTheWorkersFailures) {
    const QString script =
        WriteLines(QStringLiteral("script.txt"), {QStringLiteral("一"), QStringLiteral("二")});
    SettingsStore config = OneCardConfig(WriteLines(QStringLiteral("show.lft"), {script}));
    // A second card that is listed but does not exist.
    const SimCardSpec missing = CardFor(9, ScreenId::h, 256, 32, 0, 1);
    config.cards(ScreenId::h).push_back({EntryFor(missing.mac), {}});
    WriteConfig(config);
    TMainForm& w = Start();
    find<QAction>(QStringLiteral("N7"))->trigger();
    ASSERT_TRUE(w.monitorWindow().isVisible());
    EXPECT_EQ(w.monitorWindow().windowTitle(), QStringLiteral("通讯监测"));

    QTest::keyClick(&w, Qt::Key_F5);
    EXPECT_TRUE(w.live().IsConnected());
    EXPECT_TRUE(answers().shown.contains(QStringLiteral("inform:") + MacText(missing.mac) +
                                         QStringLiteral("->连接超时！")));
    auto* lines = find<LineListView>(QStringLiteral("ListView1"));
    lines->setCurrentIndex(lines->model()->index(1, 1));
    // The card that answers shows the line; the missing one fills the monitor.
    ASSERT_EVENTUALLY_EQ(Shown(), Expected(w), 20000);
    ASSERT_EVENTUALLY(!w.monitorWindow().lines().isEmpty(), 20000);
    EXPECT_TRUE(w.monitorWindow().lines().join(u'\n').contains(MacText(missing.mac)));
}

TEST_F(ShowTest, PlayingALyricMovesTheSelectionWithTheTrackAndTheMetersMove) {
    const QString lyric =
        WriteLines(QStringLiteral("song.lrc"),
                   {QStringLiteral("[00:01.00]第一句"), QStringLiteral("[00:02.00]第二句")});
    ToneTrack tone;
    tone.seconds = 3.5;
    tone.leftAmplitude = 0.8;
    MakeToneMp3(file(QStringLiteral("song.mp3")), tone);
    SettingsStore config = OneCardConfig(WriteLines(QStringLiteral("show.lft"), {lyric}));
    config.Play.AutoPlayCaption = true;
    WriteConfig(config);
    TMainForm& w = Start();
    ASSERT_EQ(w.player().state(), PlayerState::Ready);
    const QImage quietSpectrum = find<ImageBox>(QStringLiteral("PaintBox2"))->image();

    QTest::keyClick(&w, Qt::Key_F1);
    ASSERT_EQ(w.player().state(), PlayerState::Playing);
    EXPECT_TRUE(w.live().IsConnected());
    auto* lines = find<LineListView>(QStringLiteral("ListView1"));
    ASSERT_EVENTUALLY_EQ(lines->selectedRow(), 0, 5000);
    ASSERT_EVENTUALLY(find<ImageBox>(QStringLiteral("PaintBox2"))->image() != quietSpectrum, 5000);
    ASSERT_EVENTUALLY(find<SeekBar>(QStringLiteral("ProgressBarPlay"))->value() > 0, 5000);
    ASSERT_EVENTUALLY_EQ(lines->selectedRow(), 1, 5000);
    ASSERT_EVENTUALLY_EQ(Shown(), Expected(w), 10000);
    // The end of the track ends the file: stopped, link closed (play mode 0).
    ASSERT_EVENTUALLY_EQ(w.player().state(), PlayerState::Ready, 10000);
    EXPECT_FALSE(w.live().IsConnected());
    EXPECT_EQ(find<SeekBar>(QStringLiteral("ProgressBarPlay"))->value(), 0);
}
