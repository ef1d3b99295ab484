// The window tells the truth about the screens: how many cards showed the
// last frame, when the monitor's failures happened, what the previews show
// at brightness 0, and that a brightness step never blacks out the show
// unasked.
#include "OneCardStation.h"
#include "support/Wait.h"

#include "CardBank.h"
#include "LiveTestSupport.h"

#include "ui/CardStatus.h"
#include "ui/ImageBox.h"
#include "ui/LineListView.h"
#include "ui/MonitorForm.h"

#include <QApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <QToolButton>

namespace {

class WindowTruthTest : public OneCardStation {
protected:
    // The horizontal screen with the simulated card and, when `extra` is
    // set, a second listed card that does not exist.
    TMainForm& StartShow(std::optional<SimCardSpec> extra, int light = 5) {
        const QString script = WriteLines(
            QStringLiteral("script.txt"),
            {QStringLiteral("第一句"), QStringLiteral("第二句"), QStringLiteral("第三句")});
        SettingsStore store = OneCardConfig(WriteLines(QStringLiteral("show.lft"), {script}), true);
        store.StoredSettings.Link.Light = light;
        if (extra) {
            store.cards(ScreenId::h).push_back({EntryFor(extra->mac), {}});
        }
        WriteConfig(store);
        return Start();
    }
};

TEST(CardStatusText, CountsPerScreenInUseAndMarksTheFailingOnes) {
    CardStatusReports reports;
    EXPECT_EQ(CardStatusText(reports), QString());
    reports[0] = FrameReport{3, 2, 2};
    EXPECT_EQ(CardStatusText(reports), QStringLiteral("横屏 2/2"));
    reports[2] = FrameReport{1, 2, 1};
    const QString text = CardStatusText(reports);
    EXPECT_TRUE(text.startsWith(QStringLiteral("横屏 2/2&nbsp;&nbsp;<span style=\"color:#d00000")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("小屏 1/2（1张超时）"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("纵屏")));
}

TEST_F(WindowTruthTest, TheStatusLineCountsTheCardsThatShowedTheLine) {
    const SimCardSpec missing = CardFor(9, ScreenId::h, 256, 32, 0, 1);
    TMainForm& w = StartShow(missing);
    CardStatusPanel& status = w.cardStatus();
    status.Update();
    EXPECT_TRUE(status.text().isEmpty());

    find<QAction>(QStringLiteral("N7"))->trigger();
    QTest::keyClick(&w, Qt::Key_F5);
    ASSERT_TRUE(w.live().IsConnected());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_EVENTUALLY(status.text().contains(QStringLiteral("横屏 1/2（1张超时）")), 20000);
    EXPECT_TRUE(status.AnyFailing());

    // Every failure in the monitor says when it happened.
    ASSERT_EVENTUALLY(!w.monitorWindow().lines().isEmpty(), 20000);
    const QRegularExpression stamped(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  \\S"));
    for (const QString& line : w.monitorWindow().lines()) {
        EXPECT_TRUE(stamped.match(line).hasMatch()) << line.toStdString();
    }

    // Closed, the link has nothing to report.
    QTest::keyClick(&w, Qt::Key_F5);
    ASSERT_EVENTUALLY(status.text().isEmpty(), 10000);
}

TEST_F(WindowTruthTest, EveryCardShowingIsNotAFailure) {
    TMainForm& w = StartShow(std::nullopt);
    QTest::keyClick(&w, Qt::Key_F5);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    CardStatusPanel& status = w.cardStatus();
    ASSERT_EVENTUALLY_EQ(status.text(), QStringLiteral("横屏 1/1"), 20000);
    EXPECT_FALSE(status.AnyFailing());
    // Killing the card turns the count red at the next line.
    m_bank.reset();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_EVENTUALLY(status.AnyFailing(), 20000);
    EXPECT_TRUE(status.text().contains(QStringLiteral("横屏 0/1（1张超时）")));
    QTest::keyClick(&w, Qt::Key_F5);
}

TEST_F(WindowTruthTest, BrightnessNeverWrapsToBlackUnaskedAndThePreviewsGoDarkAt0) {
    TMainForm& w = StartShow(std::nullopt, 16);
    auto* light = find<QToolButton>(QStringLiteral("ButtonLight"));
    auto* preview = find<ImageBox>(QStringLiteral("Image1"));
    EXPECT_EQ(light->text(), QStringLiteral("调亮(16)"));
    EXPECT_FALSE(preview->isDark());
    QTest::keyClick(&w, Qt::Key_F5);
    ASSERT_TRUE(w.live().IsConnected());

    answers().yesNo.push_back(false);
    light->click();
    EXPECT_EQ(answers().shown.last(), QStringLiteral("ask:亮度将降为0，屏幕会全黑，确定吗？"));
    EXPECT_EQ(light->text(), QStringLiteral("调亮(16)"));

    // F7 lowers it a step.
    QTest::keyClick(&w, Qt::Key_F7);
    EXPECT_EQ(light->text(), QStringLiteral("调亮(15)"));
    ASSERT_EVENTUALLY_EQ(m_bank->Card(m_card.mac)->brightness, 15, 10000);
    light->click();

    answers().yesNo.push_back(true);
    light->click();
    EXPECT_EQ(light->text(), QStringLiteral("调亮(0)"));
    EXPECT_TRUE(preview->isDark());
    ASSERT_EVENTUALLY_EQ(m_bank->Card(m_card.mac)->brightness, 0, 10000);
    const QImage shown = preview->grab().toImage();
    EXPECT_EQ(shown.pixelColor(shown.width() / 8, shown.height() / 8), QColor(Qt::black));
    light->click();
    EXPECT_FALSE(preview->isDark());
    QTest::keyClick(&w, Qt::Key_F5);
}

TEST_F(WindowTruthTest, TheTemporaryMessageOpensReadyForTyping) {
    TMainForm& w = StartShow(std::nullopt);
    QTest::keyClick(&w, Qt::Key_F5);
    QString focused;
    answers().forms.push_back([&](QDialog& form) {
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
        if (QWidget* focus = form.focusWidget()) {
            focused = focus->objectName();
        }
        form.hide();
        return int(QDialog::Rejected);
    });
    QTest::keyClick(&w, Qt::Key_F6);
    EXPECT_EQ(focused, QStringLiteral("Edit1"));
    QTest::keyClick(&w, Qt::Key_F5);
}

} // namespace
