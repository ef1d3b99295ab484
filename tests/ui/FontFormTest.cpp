#include "ui/FontForm.h"

#include "render/FontCatalogue.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The pages' controls by object name; a missing control fails the test that
// asks for it instead of crashing the whole run.
template <typename W> W* Child(const QWidget& form, const QString& name) {
    W* widget = form.findChild<W*>(name);
    if (!widget) {
        throw std::runtime_error("no control " + name.toStdString());
    }
    return widget;
}
// Screen controls carry the screen number ("UpDownWidth" 2 -> UpDownWidth2,
// "RadioButtonRow" 1 "A" -> RadioButtonRow1A); the spacing box its letter.
template <typename W>
W* Screen(const QWidget& form, const char* prefix, int screen, const char* suffix = "") {
    return Child<W>(form, QString::fromLatin1(prefix) + QString::number(screen) +
                              QString::fromLatin1(suffix));
}
QCheckBox* SpacingBox(const QWidget& form, int screen) {
    const char* const letters[] = {"h", "s", "x"};
    return Child<QCheckBox>(form, QStringLiteral("CheckBox_zjj_") +
                                      QString::fromLatin1(letters[screen - 1]));
}

QStringList Items(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i) {
        items.append(box.itemText(i));
    }
    return items;
}

// On the round mark itself: an option that fills its group's width only reacts
// to clicks on its mark and caption, not in the middle of the empty row.
void ClickIndicator(QRadioButton* option) {
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
}

const QStringList kEffects = {U("直接显示"), U("滚动显示"), U("向上移动"),
                              U("向下移动"), U("向左移动"), U("向右移动")};

class FontFormTest : public ::testing::Test {
protected:
    TFontForm form;
    SettingsStore store;
    const QStringList faces = FontCatalogue::InstalledFaces();

    void SetUp() override {
        // The round trips need distinct faces per screen.
        ASSERT_GE(faces.size(), 3) << "the project installs its Chinese faces";
    }

    bool SizeEnabled(int screen) const {
        const bool enabled = Screen<QSpinBox>(form, "UpDownWidth", screen)->isEnabled();
        // Label, edit and arrows always go together.
        EXPECT_EQ(Screen<QLabel>(form, "LabelWidth", screen)->isEnabled(), enabled);
        EXPECT_EQ(Screen<QLabel>(form, "LabelHeight", screen)->isEnabled(), enabled);
        EXPECT_EQ(Screen<QSpinBox>(form, "UpDownHeight", screen)->isEnabled(), enabled);
        return enabled;
    }
    bool SpeedEnabled(int screen) const {
        const bool enabled = Screen<QSpinBox>(form, "UpDownSpeed", screen)->isEnabled();
        EXPECT_EQ(Screen<QLabel>(form, "LabelSpeed", screen)->isEnabled(), enabled);
        return enabled;
    }
    bool PauseEnabled(int screen) const {
        const bool enabled = Screen<QSpinBox>(form, "UpDownStay", screen)->isEnabled();
        EXPECT_EQ(Screen<QLabel>(form, "LabelStay", screen)->isEnabled(), enabled);
        return enabled;
    }
    bool ParagraphEnabled() const {
        const bool enabled = Child<QSpinBox>(form, U("UpDownPara"))->isEnabled();
        EXPECT_EQ(Child<QLabel>(form, U("LabelPara"))->isEnabled(), enabled);
        EXPECT_EQ(Child<QLabel>(form, U("LabelParaUnit"))->isEnabled(), enabled);
        return enabled;
    }
};

TEST_F(FontFormTest, PagesControlsAndListsAsDesigned) {
    EXPECT_EQ(form.windowTitle(), U("文字特效"));
    const auto* pages = Child<QTabWidget>(form, U("PageControl1"));
    ASSERT_EQ(pages->count(), 4);
    const QStringList titles = {U("常规"), U("横屏"), U("纵屏"), U("小屏")};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pages->tabText(i), titles[i]);
    }

    struct Caption {
        const char* name;
        const char* text;
    };
    const Caption common[] = {
        {"RadioButtonParaA", "不分段"},
        {"RadioButtonParaB", "自动分段"},
        {"RadioButtonAlignLeft", "左对齐"},
        {"RadioButtonAlignCenter", "居中对齐"},
        {"RadioButtonAlignRight", "右对齐"},
        {"RadioButtonJump1", "跳一行"},
        {"RadioButtonJump2", "跳两行"},
        {"Button1", "确定"},
        {"Button2", "取消"},
        {"Button3", "预览"},
    };
    for (const Caption& c : common) {
        EXPECT_EQ(Child<QAbstractButton>(form, U(c.name))->text(), U(c.text)) << c.name;
    }
    const Caption perScreen[] = {
        {"RadioButtonRow%1A", "单行"},
        {"RadioButtonRow%1B", "双行"},
        {"CheckBoxBold%1", "粗体"},
        {"CheckBoxItalic%1", "斜体"},
        {"RadioButtonAutoSize%1A", "自适应屏幕宽度和高度，文字大小自动缩放"},
        {"RadioButtonAutoSize%1B", "自适应屏幕高度，宽度自动缩放"},
        {"RadioButtonAutoSize%1C", "指定文字大小"},
    };
    for (int screen = 1; screen <= 3; ++screen) {
        for (const Caption& c : perScreen) {
            const QString name = U(c.name).arg(screen);
            EXPECT_EQ(Child<QAbstractButton>(form, name)->text(), U(c.text)) << name.toStdString();
        }
        EXPECT_EQ(SpacingBox(form, screen)->text(), U("自动间距"));
        EXPECT_EQ(Items(*Screen<QComboBox>(form, "ComboBoxEffect", screen)), kEffects);

        // Every screen offers the same installed faces and, before any
        // settings arrive, none of them is chosen.
        const auto* fonts = Screen<QComboBox>(form, "ComboBoxFont", screen);
        EXPECT_EQ(Items(*fonts), faces);
        EXPECT_EQ(fonts->currentIndex(), -1);
        for (const QString& face : faces) {
            EXPECT_FALSE(face.startsWith(QLatin1Char('@'))) << face.toStdString();
        }

        struct Range {
            const char* prefix;
            int min;
            int max;
            int value;
        };
        const Range ranges[] = {{"UpDownWidth", 1, 128, 24},
                                {"UpDownHeight", 1, 128, 24},
                                {"UpDownSpeed", 1, 10, 1},
                                {"UpDownStay", 0, 5, 1}};
        for (const Range& r : ranges) {
            const auto* spin = Screen<QSpinBox>(form, r.prefix, screen);
            EXPECT_EQ(spin->minimum(), r.min) << r.prefix << screen;
            EXPECT_EQ(spin->maximum(), r.max) << r.prefix << screen;
            EXPECT_EQ(spin->value(), r.value) << r.prefix << screen;
        }
    }
    const auto* para = Child<QSpinBox>(form, U("UpDownPara"));
    EXPECT_EQ(para->minimum(), 2);
    EXPECT_EQ(para->maximum(), 60);
    EXPECT_EQ(para->value(), 2);
}

TEST_F(FontFormTest, EveryShowingStartsOnTheGeneralPage) {
    auto* pages = Child<QTabWidget>(form, U("PageControl1"));
    for (int page = 1; page < 4; ++page) {
        pages->setCurrentIndex(page);
        form.loadFrom(store);
        EXPECT_EQ(pages->currentIndex(), 0);
    }
}

TEST_F(FontFormTest, SingleColourScreenOffersRedOnlyAndTurnsRedAtOnce) {
    store.ActiveSettings.Screen[0].ScreenStyle = 1;
    store.ActiveSettings.Screen[1].ScreenStyle = 0;
    store.ActiveSettings.Screen[2].ScreenStyle = 2;
    store.ActiveSettings.Effect[0].Color = 3;
    store.ActiveSettings.Effect[1].Color = 3;
    store.ActiveSettings.Effect[2].Color = 2;
    store.StoredSettings = store.ActiveSettings;

    form.show();
    form.loadFrom(store);
    // Known before the operator decides anything, and kept when cancelled.
    EXPECT_EQ(store.ActiveSettings.Effect[1].Color, 1);
    QTest::mouseClick(Child<QPushButton>(form, U("Button2")), Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(store.ActiveSettings.Effect[1].Color, 1);
    // Only the active record: Config.ini keeps what the operator once chose.
    EXPECT_EQ(store.StoredSettings.Effect[1].Color, 3);
    EXPECT_EQ(store.ActiveSettings.Effect[0].Color, 3);
    EXPECT_EQ(store.ActiveSettings.Effect[2].Color, 2);

    const QStringList all = {U("红色"), U("绿色"), U("黄色")};
    const auto* colours1 = Screen<QComboBox>(form, "ColorBoxColor", 1);
    const auto* colours2 = Screen<QComboBox>(form, "ColorBoxColor", 2);
    const auto* colours3 = Screen<QComboBox>(form, "ColorBoxColor", 3);
    EXPECT_EQ(Items(*colours1), all);
    EXPECT_EQ(Items(*colours2), QStringList({U("红色")}));
    EXPECT_EQ(Items(*colours3), all);
    EXPECT_EQ(colours1->currentIndex(), 2);
    EXPECT_EQ(colours2->currentIndex(), 0);
    EXPECT_EQ(colours3->currentIndex(), 1);
    // Each entry shows a swatch.
    for (int i = 0; i < colours1->count(); ++i) {
        EXPECT_FALSE(colours1->itemIcon(i).isNull()) << i;
    }

    // The list is rebuilt on every showing: screen 2 made three-colour again
    // offers all three with the active colour selected.
    store.ActiveSettings.Screen[1].ScreenStyle = 2;
    store.ActiveSettings.Effect[1].Color = 3;
    form.loadFrom(store);
    EXPECT_EQ(Items(*colours2), all);
    EXPECT_EQ(colours2->currentIndex(), 2);
    EXPECT_EQ(store.ActiveSettings.Effect[1].Color, 3);
}

TEST_F(FontFormTest, EffectEnablesSpeedAndPause) {
    struct Case {
        int effect;
        bool speed;
        bool pause;
    };
    // A stored value outside the list is "not 0" and "not 1" like any other.
    const Case cases[] = {{0, false, false}, {1, true, true},  {2, true, false},
                          {3, true, false},  {5, true, false}, {9, true, false}};
    const int count = static_cast<int>(std::size(cases));
    for (int k = 0; k < count; ++k) {
        // Each screen gets a different case so a cross-wired page shows up.
        for (int screen = 1; screen <= 3; ++screen) {
            store.ActiveSettings.Effect[screen - 1].Effect = cases[(k + screen) % count].effect;
        }
        form.loadFrom(store);
        for (int screen = 1; screen <= 3; ++screen) {
            const Case& c = cases[(k + screen) % count];
            EXPECT_EQ(SpeedEnabled(screen), c.speed) << "load " << c.effect << " screen " << screen;
            EXPECT_EQ(PauseEnabled(screen), c.pause) << "load " << c.effect << " screen " << screen;
        }
    }

    // While open, choosing an effect on one page changes that page only.
    store.ActiveSettings.Effect = {};
    form.loadFrom(store);
    for (int screen = 1; screen <= 3; ++screen) {
        auto* effects = Screen<QComboBox>(form, "ComboBoxEffect", screen);
        for (const int index : {1, 3, 0, 1, 5}) {
            effects->setCurrentIndex(index);
            EXPECT_EQ(SpeedEnabled(screen), index != 0) << index << " screen " << screen;
            EXPECT_EQ(PauseEnabled(screen), index == 1) << index << " screen " << screen;
        }
        effects->setCurrentIndex(0);
        for (int other = 1; other <= 3; ++other) {
            EXPECT_FALSE(SpeedEnabled(other));
        }
    }
}

TEST_F(FontFormTest, SizeOptionsAAndBDisableWidthAndHeight) {
    struct Case {
        int autoSize;
        const char* option;
        bool enabled;
    };
    const Case cases[] = {
        {1, "A", false}, {2, "B", false}, {3, "C", true}, {0, "C", true}, {4, "C", true}};
    const int count = static_cast<int>(std::size(cases));
    for (int k = 0; k < count; ++k) {
        for (int screen = 1; screen <= 3; ++screen) {
            store.ActiveSettings.Effect[screen - 1].AutoSize = cases[(k + screen) % count].autoSize;
        }
        form.loadFrom(store);
        for (int screen = 1; screen <= 3; ++screen) {
            const Case& c = cases[(k + screen) % count];
            EXPECT_TRUE(
                Screen<QRadioButton>(form, "RadioButtonAutoSize", screen, c.option)->isChecked())
                << c.autoSize << " screen " << screen;
            EXPECT_EQ(SizeEnabled(screen), c.enabled) << c.autoSize << " screen " << screen;
        }
    }

    store.ActiveSettings.Effect = {};
    form.show();
    form.loadFrom(store);
    for (int screen = 1; screen <= 3; ++screen) {
        Child<QTabWidget>(form, U("PageControl1"))->setCurrentIndex(screen);
        for (const char* option : {"A", "C", "B", "C"}) {
            ClickIndicator(Screen<QRadioButton>(form, "RadioButtonAutoSize", screen, option));
            EXPECT_EQ(SizeEnabled(screen), option[0] == 'C') << option << " screen " << screen;
        }
        Screen<QRadioButton>(form, "RadioButtonAutoSize", screen, "A")->click();
        for (int other = screen + 1; other <= 3; ++other) {
            EXPECT_TRUE(SizeEnabled(other)) << "screen " << other;
        }
    }
}

TEST_F(FontFormTest, WholeLinesDisableTheParagraphLength) {
    for (const auto& [autoPara, segmented] :
         {std::pair{0, false}, {1, true}, {7, true}, {0, false}}) {
        store.ActiveSettings.Text.AutoPara = autoPara;
        form.loadFrom(store);
        EXPECT_EQ(Child<QRadioButton>(form, U("RadioButtonParaB"))->isChecked(), segmented);
        EXPECT_EQ(ParagraphEnabled(), segmented) << autoPara;
    }

    form.show();
    ClickIndicator(Child<QRadioButton>(form, U("RadioButtonParaB")));
    EXPECT_TRUE(ParagraphEnabled());
    ClickIndicator(Child<QRadioButton>(form, U("RadioButtonParaA")));
    EXPECT_FALSE(ParagraphEnabled());
}

TEST_F(FontFormTest, FontListSelectsTheStoredFaceWithoutRegardToCase) {
    // A face that is not installed on a fresh dialog: nothing is selected and
    // applying keeps the name (the show may be played where it exists; the
    // renderer substitutes an installed face here).
    for (TTextEffect& effect : store.ActiveSettings.Effect) {
        effect.Font = U("没有这种字体");
    }
    form.loadFrom(store);
    TSettings applied = store.ActiveSettings;
    form.storeInto(applied);
    for (int screen = 1; screen <= 3; ++screen) {
        EXPECT_EQ(Screen<QComboBox>(form, "ComboBoxFont", screen)->currentIndex(), -1);
        EXPECT_EQ(applied.Effect[screen - 1].Font, U("没有这种字体"));
    }

    store.ActiveSettings.Effect[0].Font = faces[2].toUpper();
    store.ActiveSettings.Effect[1].Font = faces[1].toLower();
    store.ActiveSettings.Effect[2].Font = faces[0];
    form.loadFrom(store);
    form.storeInto(applied);
    for (int screen = 1; screen <= 3; ++screen) {
        const int expected = 3 - screen;
        EXPECT_EQ(Screen<QComboBox>(form, "ComboBoxFont", screen)->currentIndex(), expected);
        // The list's spelling is what gets stored.
        EXPECT_EQ(applied.Effect[screen - 1].Font, faces[expected]);
    }

    // An unknown face on a later showing keeps the previous choice.
    store.ActiveSettings.Effect[1].Font = U("没有这种字体");
    form.loadFrom(store);
    EXPECT_EQ(Screen<QComboBox>(form, "ComboBoxFont", 2)->currentIndex(), 1);
}

// Text records with a value other than the default in every field, different
// on each screen, on multi-colour screens.
TSettings Unusual(const QStringList& faces, int variant) {
    TSettings settings;
    settings.Screen[0].ScreenStyle = 1;
    settings.Screen[1].ScreenStyle = 2;
    settings.Screen[2].ScreenStyle = 1;
    settings.Text = variant == 0 ? TTextCommon{1, 60, 2, 2} : TTextCommon{1, 17, 3, 2};
    for (int i = 0; i < 3; ++i) {
        TTextEffect& e = settings.Effect[i];
        e.Font = faces[(i + variant) % 3];
        e.Color = variant == 0 ? 2 + i % 2 : 3 - i % 2;
        e.Bold = 1;
        e.Italic = variant == 0 ? 1 : 0;
        e.Row = 2;
        e.AutoSize = 1 + (i + variant) % 2;
        e.SizeWidth = variant == 0 ? 128 : 1 + i;
        e.SizeHeight = variant == 0 ? 1 + i : 128;
        e.Zjj = true;
        e.Effect = variant == 0 ? 1 + i : 5 - i;
        e.Speed = variant == 0 ? 10 - i : 2 + i;
        e.RollStay = variant == 0 ? 5 : i;
    }
    return settings;
}

TEST_F(FontFormTest, LoadThenStoreGivesBackEveryField) {
    // The defaults, with a face that is installed, then two unusual sets: each
    // showing must replace what the previous one left in the controls.
    TSettings defaults;
    for (TTextEffect& effect : defaults.Effect) {
        effect.Font = faces[0];
    }
    for (const TSettings& settings : {defaults, Unusual(faces, 0), Unusual(faces, 1), defaults}) {
        store.ActiveSettings = settings;
        form.loadFrom(store);
        ASSERT_EQ(store.ActiveSettings, settings) << "opening changes multi-colour screens not";

        TSettings applied;
        applied.Link.Com = 9;
        applied.Screen[1].ScreenWidth = 77;
        const TSettings untouched = applied;
        form.storeInto(applied);
        EXPECT_EQ(applied.Text, settings.Text);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(applied.Effect[i], settings.Effect[i]) << "screen " << i + 1;
        }
        // The dialog owns the text records only.
        EXPECT_EQ(applied.Link, untouched.Link);
        EXPECT_EQ(applied.Screen, untouched.Screen);
    }
}

TEST_F(FontFormTest, ValuesTheControlsCannotHoldComeBackAsWhatTheyMean) {
    TSettings odd;
    odd.Text = {-3, 99, 0, 0};
    for (TTextEffect& e : odd.Effect) {
        e.Font = faces[0];
        e.Bold = 2;
        e.Italic = -1;
        e.Row = 0;
        e.AutoSize = 7;
        e.SizeWidth = 500;
        e.SizeHeight = 0;
        e.Speed = 0;
        e.RollStay = 9;
    }
    store.ActiveSettings = odd;
    form.loadFrom(store);
    TSettings applied;
    form.storeInto(applied);

    EXPECT_EQ(applied.Text, (TTextCommon{1, 60, 3, 2}));
    for (const TTextEffect& e : applied.Effect) {
        EXPECT_EQ(e.Bold, 0);
        EXPECT_EQ(e.Italic, 0);
        EXPECT_EQ(e.Row, 2);
        EXPECT_EQ(e.AutoSize, 3);
        EXPECT_EQ(e.SizeWidth, 128);
        EXPECT_EQ(e.SizeHeight, 1);
        EXPECT_EQ(e.Speed, 1);
        EXPECT_EQ(e.RollStay, 5);
    }
}

TEST_F(FontFormTest, PreviewKeepsTheDialogOpenOkAndCancelClose) {
    QSignalSpy preview(&form, &TFontForm::previewRequested);
    form.show();
    form.loadFrom(store);
    QTest::mouseClick(Child<QPushButton>(form, U("Button3")), Qt::LeftButton);
    EXPECT_EQ(preview.count(), 1);
    EXPECT_TRUE(form.isVisible());

    QTest::mouseClick(Child<QPushButton>(form, U("Button1")), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);

    form.show();
    QTest::mouseClick(Child<QPushButton>(form, U("Button2")), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(preview.count(), 1);
}

} // namespace
