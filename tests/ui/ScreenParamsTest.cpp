// The screen-parameter dialog and the readback on the main window, against
// simulated cards on loopback.
#include "StationFixture.h"
#include "support/Wait.h"

#include "CardBank.h"
#include "LiveTestSupport.h"

#include "ui/ImageBox.h"
#include "ui/ParamForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

namespace {

class ScreenParamsTest : public StationFixture {
protected:
    void StartCards(const std::vector<SimCardSpec>& cards) {
        BankOptions options;
        options.portOffset = portOffset();
        m_bank = std::make_unique<CardBank>(options);
        for (const SimCardSpec& card : cards) {
            m_bank->AddCard(card);
        }
        ASSERT_TRUE(m_bank->Start().ok);
    }
    void TearDown() override {
        StationFixture::TearDown();
        m_bank.reset();
    }
    // Opens the dialog through the menu with a password; the form runs `fill`.
    void OpenWith(const QString& password, std::function<int(QDialog&)> fill) {
        answers().texts.push_back(password);
        answers().forms.push_back(std::move(fill));
        find<QAction>(QStringLiteral("MenuOptions"))->trigger();
    }
    template <typename T> static T* in(QDialog& dialog, const char* name) {
        T* found = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    std::unique_ptr<CardBank> m_bank;
};

TEST_F(ScreenParamsTest, PasswordGate) {
    Start();
    // Wrong, empty and dismissed answers: no dialog.
    for (const std::optional<QString>& answer :
         {std::optional<QString>(QStringLiteral("123")), std::optional<QString>(QString()),
          std::optional<QString>()}) {
        answers().shown.clear();
        answers().texts.push_back(answer);
        find<QAction>(QStringLiteral("MenuOptions"))->trigger();
        QStringList expected{QStringLiteral("text:请输入密码：")};
        if (answer && !answer->isEmpty()) {
            expected << QStringLiteral("inform:密码错误！");
        }
        EXPECT_EQ(answers().shown, expected);
        EXPECT_FALSE(window().player().dialogBusy());
    }

    // Service: everything shown and enabled; the dialog opens on "常规" with
    // the screens in use.
    bool busyMeanwhile = false;
    OpenWith(QStringLiteral("946"), [&](QDialog& dialog) {
        busyMeanwhile = window().player().dialogBusy();
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("屏幕参数"));
        EXPECT_EQ(in<QTabWidget>(dialog, "PageControl1")->currentIndex(), 0);
        for (const char* name : {"Button_h_jz", "Button_s_tuoj", "Button_x_jz"}) {
            EXPECT_FALSE(in<QPushButton>(dialog, name)->isHidden()) << name;
        }
        for (const char* name :
             {"ComboBoxScreen1", "ComboBoxScan2", "ComboBoxOE3", "ComboBoxData1"}) {
            EXPECT_TRUE(in<QComboBox>(dialog, name)->isEnabled()) << name;
        }
        EXPECT_FALSE(in<QWidget>(dialog, "GroupBoxInterface")->isVisibleTo(&dialog));
        EXPECT_EQ(in<QSpinBox>(dialog, "UpDown4")->maximum(), 784);
        EXPECT_EQ(in<QSpinBox>(dialog, "UpDown1")->singleStep(), 16);
        in<QPushButton>(dialog, "ButtonCancel")->click();
        return dialog.result();
    });
    EXPECT_TRUE(busyMeanwhile);
    EXPECT_FALSE(window().player().dialogBusy());
}

TEST_F(ScreenParamsTest, RestrictedModeStoresSizesAndInUseButNotColourOrScan) {
    SettingsStore config;
    config.StoredSettings.screen(ScreenId::h) = TScreenParams{true, 1, 256, 32, 1, 2, 0, 1, 0};
    WriteConfig(config);
    Start();
    OpenWith(QStringLiteral("527"), [&](QDialog& dialog) {
        for (const char* name : {"Button_h_jz", "Button_h_tuoj", "Button_s_jz", "Button_x_tuoj"}) {
            EXPECT_TRUE(in<QPushButton>(dialog, name)->isHidden()) << name;
        }
        for (const char* name :
             {"ComboBoxScreen1", "ComboBoxScan1", "ComboBoxOE2", "ComboBoxData3"}) {
            EXPECT_FALSE(in<QComboBox>(dialog, name)->isEnabled()) << name;
        }
        EXPECT_TRUE(in<QPushButton>(dialog, "Button_h_xz")->isEnabled());
        EXPECT_EQ(in<QSpinBox>(dialog, "UpDown1")->value(), 256);
        EXPECT_EQ(in<QComboBox>(dialog, "ComboBoxScan1")->currentIndex(), 2);
        in<QSpinBox>(dialog, "UpDown1")->setValue(512);
        in<QSpinBox>(dialog, "UpDown6")->setValue(64);
        in<QCheckBox>(dialog, "CheckBox3")->setChecked(true);
        in<QRadioButton>(dialog, "RadioButtonFlash32")->setChecked(true);
        in<QPushButton>(dialog, "ButtonOK")->click();
        return dialog.result();
    });
    const SettingsStore& s = window().settings();
    const TScreenParams& h = s.ActiveSettings.screen(ScreenId::h);
    EXPECT_EQ(h.ScreenWidth, 512);
    EXPECT_EQ(h.ScreenStyle, 1);
    EXPECT_EQ(h.ScanStyle, 2);
    const TScreenParams& x = s.ActiveSettings.screen(ScreenId::x);
    EXPECT_TRUE(x.ScreenKind);
    EXPECT_EQ(x.ScreenHeight, 64);
    EXPECT_EQ(x.Flash, 2);
    EXPECT_EQ(s.StoredSettings.Screen, s.ActiveSettings.Screen);
    // The worker, the previews and the status line follow.
    EXPECT_EQ(window().worker().linkScreen(ScreenId::h).width, 512);
    EXPECT_EQ(window().worker().linkScreen(ScreenId::h).rowsPerGroup, 16);
    EXPECT_EQ(find<ImageBox>(QStringLiteral("Image1"))->width(), 512);
    EXPECT_TRUE(find<ImageBox>(QStringLiteral("Image3"))->isVisibleTo(&window()));
    EXPECT_EQ(window().statusText(2), QStringLiteral("未连接屏幕，请先点连接按钮。"));

    // Cancel changes nothing.
    OpenWith(QStringLiteral("946"), [&](QDialog& dialog) {
        EXPECT_EQ(in<QSpinBox>(dialog, "UpDown1")->value(), 512);
        in<QSpinBox>(dialog, "UpDown1")->setValue(1024);
        in<QComboBox>(dialog, "ComboBoxScreen1")->setCurrentIndex(0);
        in<QPushButton>(dialog, "ButtonCancel")->click();
        return dialog.result();
    });
    EXPECT_EQ(window().settings().ActiveSettings.screen(ScreenId::h).ScreenWidth, 512);
    EXPECT_EQ(window().settings().ActiveSettings.screen(ScreenId::h).ScreenStyle, 1);
}

TEST_F(ScreenParamsTest, SearchLoadFileAndMoveFromTheDialog) {
    const SimCardSpec card = CardFor(1, ScreenId::h, 384, 32, 1, 0);
    StartCards({card});
    Start();
    OpenWith(QStringLiteral("946"), [&](QDialog& dialog) {
        in<QTabWidget>(dialog, "PageControl1")->setCurrentIndex(1);
        in<QPushButton>(dialog, "Button_h_xz")->click();
        QListWidget* list = in<QListWidget>(dialog, "ListBox_h");
        // A failed wait ends only this lambda: the dialog must still be answered.
        [&] { ASSERT_EVENTUALLY_EQ(list->count(), 1, 5000); }();
        EXPECT_EQ(list->item(0)->text(),
                  QStringLiteral("mac:") + MacText(card.mac) + QStringLiteral(" 舞台屏->Q1卡"));
        EXPECT_EQ(list->currentRow(), 0);
        EXPECT_EQ(in<QSpinBox>(dialog, "UpDown1")->value(), 384);
        EXPECT_EQ(in<QComboBox>(dialog, "ComboBoxScreen1")->currentIndex(), 0);
        EXPECT_EQ(in<QComboBox>(dialog, "ComboBoxScan1")->currentIndex(), 1);
        EXPECT_TRUE(in<QCheckBox>(dialog, "CheckBox1")->isChecked());

        in<QComboBox>(dialog, "ComboBoxScreen1")->setCurrentIndex(1);
        in<QPushButton>(dialog, "Button_h_jz")->click();
        EXPECT_EQ(m_bank->Card(card.mac)->setup.params[6], 2); // now a dual-colour card
        in<QPushButton>(dialog, "Button_h_tuoj")->click();

        QAction* toSmall = dialog.findChild<QAction*>(QStringLiteral("N3"));
        EXPECT_NE(toSmall, nullptr);
        EXPECT_NE(dialog.findChild<QAction*>(QStringLiteral("N6")), nullptr);
        toSmall->trigger();
        EXPECT_EQ(m_bank->Card(card.mac)->setup.screen, ScreenId::x);
        QListWidget* small = in<QListWidget>(dialog, "ListBox_x");
        [&] {
            ASSERT_EVENTUALLY_EQ(small->count(), 1, 5000);
            ASSERT_EVENTUALLY_EQ(list->count(), 0, 5000);
        }();
        in<QPushButton>(dialog, "ButtonOK")->click();
        return dialog.result();
    });
    EXPECT_EQ(answers().shown.mid(2),
              (QStringList{
                  QStringLiteral("inform:") + MacText(card.mac) + QStringLiteral("->加载成功！"),
                  QStringLiteral("inform:横屏参数文件生成成功！"),
                  QStringLiteral("inform:") + MacText(card.mac) + QStringLiteral("->设置成功！")}));
    EXPECT_EQ(TempDir::read(file(QStringLiteral("data/cs_h.bin"))).size(), 512);
    // The card lists are kept with the settings at shut-down.
    window().close();
    const SettingsStore stored = ReadConfig();
    EXPECT_TRUE(stored.cards(ScreenId::h).empty());
    ASSERT_EQ(stored.cards(ScreenId::x).size(), 1u);
    EXPECT_TRUE(stored.cards(ScreenId::x)[0].id.contains(MacText(card.mac)));
}

TEST_F(ScreenParamsTest, TheCardMenuActsOnTheRowRightClicked) {
    const std::vector<SimCardSpec> cards{CardFor(1, ScreenId::h, 256, 32, 0, 1),
                                         CardFor(2, ScreenId::h, 256, 32, 0, 1),
                                         CardFor(3, ScreenId::h, 256, 32, 0, 1)};
    StartCards(cards);
    Start();
    QString moved;
    OpenWith(QStringLiteral("946"), [&](QDialog& dialog) {
        in<QTabWidget>(dialog, "PageControl1")->setCurrentIndex(1);
        in<QPushButton>(dialog, "Button_h_xz")->click();
        // While the search collects answers, neither 寻找 nor 加载 can start.
        EXPECT_FALSE(in<QPushButton>(dialog, "Button_h_xz")->isEnabled());
        EXPECT_FALSE(in<QPushButton>(dialog, "Button_h_jz")->isEnabled());
        QListWidget* list = in<QListWidget>(dialog, "ListBox_h");
        [&] {
            ASSERT_EVENTUALLY_EQ(list->count(), 3, 5000);
            ASSERT_EVENTUALLY(in<QPushButton>(dialog, "Button_h_jz")->isEnabled(), 10000);
        }();
        if (list->count() != 3) {
            return int(QDialog::Rejected);
        }
        // The operator looked at the first card, then right-clicks the third.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        const QPoint third = list->visualItemRect(list->item(2)).center();
        QContextMenuEvent menu(QContextMenuEvent::Mouse, third,
                               list->viewport()->mapToGlobal(third));
        QCoreApplication::sendEvent(list->viewport(), &menu);
        EXPECT_EQ(list->currentRow(), 2);
        moved = list->item(2)->text();
        dialog.findChild<QAction*>(QStringLiteral("N3"))->trigger();
        QListWidget* small = in<QListWidget>(dialog, "ListBox_x");
        [&] { ASSERT_EVENTUALLY_EQ(small->count(), 1, 5000); }();
        EXPECT_EQ(small->count() == 1 ? small->item(0)->text().left(21) : QString(),
                  moved.left(21));
        // Outside the rows there is no card to act on: no menu.
        for (QMenu* shown : dialog.findChildren<QMenu*>()) {
            shown->hide();
        }
        QMenu* open = nullptr;
        const QPoint below(4, list->viewport()->height() - 2);
        QContextMenuEvent nowhere(QContextMenuEvent::Mouse, below,
                                  list->viewport()->mapToGlobal(below));
        QCoreApplication::sendEvent(list->viewport(), &nowhere);
        for (QMenu* menuWidget : dialog.findChildren<QMenu*>()) {
            if (menuWidget->isVisible() &&
                menuWidget->actions().contains(dialog.findChild<QAction*>(QStringLiteral("N3")))) {
                open = menuWidget;
            }
        }
        EXPECT_EQ(open, nullptr);
        in<QPushButton>(dialog, "ButtonOK")->click();
        return dialog.result();
    });
    ASSERT_FALSE(moved.isEmpty());
    int onSmall = 0;
    for (const SimCardSpec& card : cards) {
        const bool isMoved = moved.contains(MacText(card.mac));
        EXPECT_EQ(m_bank->Card(card.mac)->setup.screen, isMoved ? ScreenId::x : ScreenId::h)
            << MacText(card.mac).toStdString();
        onSmall += isMoved ? 1 : 0;
    }
    EXPECT_EQ(onSmall, 1);
}

// A close while the dialog searches for cards or loads them waits for the
// search's window or the load to end, then the station closes.
TEST_F(ScreenParamsTest, ClosingDuringASearchOrALoadWaitsForIt) {
    const SimCardSpec card = CardFor(1, ScreenId::h, 256, 32, 0, 1);
    StartCards({card});
    for (const char* button : {"Button_h_xz", "Button_h_jz"}) {
        SCOPED_TRACE(button);
        TMainForm& w = Start();
        bool closedInside = true;
        int loads = 0;
        OpenWith(QStringLiteral("946"), [&](QDialog& dialog) {
            in<QTabWidget>(dialog, "PageControl1")->setCurrentIndex(1);
            if (QString::fromLatin1(button) == QLatin1String("Button_h_jz")) {
                // The card listed, and one more that never answers: the load
                // waits for it while the close arrives.
                QListWidget* list = in<QListWidget>(dialog, "ListBox_h");
                in<QPushButton>(dialog, "Button_h_xz")->click();
                [&] { ASSERT_EVENTUALLY_EQ(list->count(), 1, 5000); }();
                w.settings().cards(ScreenId::h).push_back({EntryFor(TestCard(0x66).mac), {}});
            }
            QTimer::singleShot(0, &w, [&] {
                w.close();
                closedInside = w.hasClosed();
            });
            in<QPushButton>(dialog, button)->click();
            [&] { ASSERT_EVENTUALLY(!w.screenParams().IsBusy(), 5000); }();
            loads = CardActions(*m_bank, card.mac, true)
                        .filter(QStringLiteral("LoadParameters"))
                        .size();
            return int(QDialog::Rejected);
        });
        EXPECT_FALSE(closedInside);
        ASSERT_EVENTUALLY(w.hasClosed(), 10000);
        if (QString::fromLatin1(button) == QLatin1String("Button_h_jz")) {
            EXPECT_EQ(loads, 1);
            EXPECT_EQ(answers().shown.filter(QStringLiteral("->连接超时！")).size(), 1);
        }
        answers().reset();
        answers().setScripted(true);
    }
}

TEST_F(ScreenParamsTest, ReadbackFromTheToolbar) {
    StartCards({CardFor(1, ScreenId::h, 512, 32, 0, 1), CardFor(2, ScreenId::h, 512, 32, 0, 1)});
    SettingsStore config;
    config.StoredSettings.screen(ScreenId::s) = TScreenParams{true, 2, 48, 320, 0, 3, 1, 0, 0};
    WriteConfig(config);
    Start();
    find<QAction>(QStringLiteral("ToolButton4"))->trigger();
    const QString message = QStringLiteral("inform:发现2个横屏\n\u3000\u30000个纵屏\n"
                                           "\u3000\u30000个小屏\n并回读屏幕参数");
    ASSERT_EVENTUALLY(answers().shown.contains(message), 5000);
    const SettingsStore& s = window().settings();
    EXPECT_TRUE(s.ActiveSettings.screen(ScreenId::h).ScreenKind);
    EXPECT_EQ(s.ActiveSettings.screen(ScreenId::h).ScreenWidth, 512);
    EXPECT_EQ(s.ActiveSettings.screen(ScreenId::s), config.StoredSettings.screen(ScreenId::s));
    EXPECT_EQ(s.cards(ScreenId::h).size(), 2u);
    EXPECT_EQ(find<ImageBox>(QStringLiteral("Image1"))->width(), 512);

    // Not while connected.
    QTest::keyClick(&window(), Qt::Key_F5);
    ASSERT_TRUE(window().live().IsConnected());
    answers().shown.clear();
    find<QAction>(QStringLiteral("ToolButton4"))->trigger();
    find<QAction>(QStringLiteral("ButtonText"))->trigger();
    EXPECT_EQ(answers().shown, (QStringList{QStringLiteral("inform:请先断开与字幕机的连接。"),
                                            QStringLiteral("inform:请先断开与字幕机的连接。")}));
}

} // namespace
