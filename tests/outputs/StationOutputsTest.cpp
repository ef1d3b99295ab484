// The main window with its outputs: a simulated card on the horizontal
// screen, a DDP receiver and the STAGE monitor (two offscreen monitors, see
// TwoMonitors.json) given for the run, and the outputs dialog.

#include "DdpReceiver.h"
#include "OneCardStation.h"
#include "support/Wait.h"

#include "ui/LineListView.h"
#include "ui/OutputForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace {

class StationOutputsTest : public OneCardStation {
protected:
    TMainForm& StartShow(const StationOptions& options) {
        const QString script =
            WriteLines(QStringLiteral("script.txt"),
                       {QStringLiteral("今晚演出即将开始"), QStringLiteral("第一幕")});
        WriteConfig(OneCardConfig(WriteLines(QStringLiteral("show.lft"), {script}), true));
        return Start(options);
    }
};

} // namespace

TEST_F(StationOutputsTest, ALineReachesTheCardTheDdpWallAndTheMonitorTogether) {
    TestDdpReceiver wall;
    ASSERT_TRUE(wall.ok());
    StationOptions options = Options();
    options.outputs.ddp[0] = std::vector<DdpReceiver>{{0x7F000001u, wall.port()}};
    options.outputs.monitor[0] =
        OutputOverrides::Monitor{QStringLiteral("STAGE"), MonitorLayout::Confidence};
    TMainForm& w = StartShow(options);
    MonitorWindow* monitor = w.monitorOutputs().window(ScreenId::h);
    ASSERT_NE(monitor, nullptr);
    ASSERT_EVENTUALLY(monitor->isVisible(), 5000);
    EXPECT_EQ(monitor->layout(), MonitorLayout::Confidence);

    auto* lines = w.findChild<LineListView*>(QStringLiteral("ListView1"));
    ASSERT_NE(lines, nullptr);
    lines->setCurrentIndex(lines->model()->index(0, 1));
    QTest::keyClick(&w, Qt::Key_F5);
    ASSERT_TRUE(w.live().IsConnected());
    // The blank at the connect and the line may go as one frame when the
    // worker is late: the card is judged by what it shows.
    ASSERT_EVENTUALLY_EQ(
        Shown(), Thresholded(w.renderer().previewImage(ScreenId::h), ColourKind::Dual), 10000);
    ASSERT_EVENTUALLY(
        !wall.Frames().empty() &&
            TestDdpReceiver::Picture(wall.Frames().back(), 256, 32) ==
                w.renderer().previewImage(ScreenId::h).convertToFormat(QImage::Format_RGB888),
        10000);
    // The monitor has the line, and the next one below it.
    ASSERT_EVENTUALLY(!monitor->nextPicture().isNull(), 5000);

    // F4 blanks the screens: the wall and the monitor too.
    QTest::keyClick(&w, Qt::Key_F4);
    QImage black(256, 32, QImage::Format_RGB888);
    black.fill(Qt::black);
    ASSERT_EVENTUALLY(TestDdpReceiver::Picture(wall.Frames().back(), 256, 32) == black, 10000);
    ASSERT_EVENTUALLY(monitor->nextPicture().isNull(), 5000);
}

TEST_F(StationOutputsTest, TheOutputsDialogKeepsItsSectionAndAppliesAtOnce) {
    TMainForm& w = StartShow(Options());
    EXPECT_EQ(w.monitorOutputs().window(ScreenId::h), nullptr);
    EXPECT_FALSE(w.ddpOutput().HasReceivers(ScreenId::h));

    // A receiver that is not an address keeps the dialog open with the reason.
    answers().forms.push_back([](QDialog& form) {
        form.findChild<QLineEdit*>(QStringLiteral("EditDdpH"))->setText(QStringLiteral("wall"));
        static_cast<TOutputForm&>(form).accept();
        EXPECT_NE(form.result(), QDialog::Accepted);
        EXPECT_TRUE(form.findChild<QLabel*>(QStringLiteral("LabelError"))
                        ->text()
                        .contains(QStringLiteral("wall")));
        return int(QDialog::Rejected);
    });
    w.findChild<QAction*>(QStringLiteral("MenuOutputs"))->trigger();
    EXPECT_FALSE(LoadOutputSettings(configPath()).HasDdp());

    answers().forms.push_back([](QDialog& form) {
        form.findChild<QLineEdit*>(QStringLiteral("EditDdpH"))
            ->setText(QStringLiteral("127.0.0.1:4999, 127.0.0.2"));
        form.findChild<QCheckBox*>(QStringLiteral("CheckSerpentineH"))->setChecked(true);
        form.findChild<QComboBox*>(QStringLiteral("ComboMonitorX"))
            ->setCurrentText(QStringLiteral("STAGE"));
        form.findChild<QCheckBox*>(QStringLiteral("CheckConfidenceX"))->setChecked(true);
        return int(QDialog::Accepted);
    });
    w.findChild<QAction*>(QStringLiteral("MenuOutputs"))->trigger();
    const OutputSettings saved = LoadOutputSettings(configPath());
    EXPECT_EQ(saved.screen(ScreenId::h).ddp,
              (std::vector<DdpReceiver>{{0x7F000001u, 4999}, {0x7F000002u, 4048}}));
    EXPECT_TRUE(saved.screen(ScreenId::h).pixels.serpentine);
    EXPECT_EQ(saved.screen(ScreenId::x).monitor, QStringLiteral("STAGE"));
    EXPECT_EQ(saved.screen(ScreenId::x).layout, MonitorLayout::Confidence);
    EXPECT_TRUE(w.ddpOutput().HasReceivers(ScreenId::h));
    ASSERT_NE(w.monitorOutputs().window(ScreenId::x), nullptr);

    // The station's own Config.ini writing at the close keeps the section.
    w.close();
    ASSERT_TRUE(w.hasClosed());
    EXPECT_EQ(LoadOutputSettings(configPath()), saved);
}
