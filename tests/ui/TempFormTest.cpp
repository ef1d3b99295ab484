#include "ui/TempForm.h"

#include "render/FontCatalogue.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

template <typename W> W* Child(const QWidget& form, const char* name) {
    return form.findChild<W*>(QString::fromLatin1(name));
}

QStringList Items(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i) {
        items.append(box.itemText(i));
    }
    return items;
}

// Settings that differ from the defaults in every field.
TAdSettings Unusual(const TTempForm& form) {
    TAdSettings ad;
    ad.OneTwo = false;
    ad.zit = static_cast<int>(form.faces().size()) - 1;
    ad.yans = 2;
    ad.dax = 42;
    ad.zut = true;
    ad.xiet = true;
    ad.tej = 5;
    ad.sud = 1;
    ad.tingl = 5;
    ad.hang1 = QStringLiteral("今晚演出 Tonight");
    ad.hang2 = QString();
    ad.play = false;
    return ad;
}

class TempFormTest : public ::testing::Test {
protected:
    TTempForm m_form;
    QLineEdit* m_edit1 = Child<QLineEdit>(m_form, "Edit1");
    QLineEdit* m_edit2 = Child<QLineEdit>(m_form, "Edit2");
    QPushButton* m_ok = Child<QPushButton>(m_form, "Button1");
    QComboBox* m_colours = Child<QComboBox>(m_form, "ColorBox1");
    QComboBox* m_sizes = Child<QComboBox>(m_form, "ComboBoxSize");
    QComboBox* m_faces = Child<QComboBox>(m_form, "ComboBox1");

    void SetUp() override {
        ASSERT_NE(m_edit1, nullptr);
        ASSERT_NE(m_edit2, nullptr);
        ASSERT_NE(m_ok, nullptr);
        ASSERT_NE(m_colours, nullptr);
        ASSERT_NE(m_sizes, nullptr);
        ASSERT_NE(m_faces, nullptr);
    }
};

TEST_F(TempFormTest, StartsWithEmptyRowsAndTheDefaultControls) {
    EXPECT_TRUE(m_form.row1().isEmpty());
    EXPECT_TRUE(m_form.row2().isEmpty());
    EXPECT_FALSE(m_ok->isEnabled());
    EXPECT_TRUE(m_form.playAfterDisconnect());

    const QStringList installed = FontCatalogue::InstalledFaces();
    EXPECT_EQ(m_form.faces(), installed);
    for (const QString& face : installed) {
        EXPECT_FALSE(face.startsWith(QLatin1Char('@'))) << face.toStdString();
    }
    // The stored default "宋体" is offered and selected under its own name.
    EXPECT_EQ(m_faces->currentText(), QStringLiteral("宋体"));

    EXPECT_EQ(Items(*Child<QComboBox>(m_form, "ComboBoxEffect1")),
              (QStringList{QStringLiteral("直接显示"), QStringLiteral("滚动显示"),
                           QStringLiteral("向上移动"), QStringLiteral("向下移动"),
                           QStringLiteral("向左移动"), QStringLiteral("向右移动")}));

    // What the dialog holds before any settings are loaded is what a fresh
    // Config.ini holds, apart from the rows and the font list's own choice.
    TAdSettings stored;
    m_form.storeSettings(stored);
    TAdSettings expected;
    expected.zit = m_faces->currentIndex();
    expected.hang1.clear();
    expected.hang2.clear();
    EXPECT_EQ(stored, expected);
}

TEST_F(TempFormTest, OkIsEnabledExactlyWhenARowHasText) {
    struct Case {
        const char* row1;
        const char* row2;
        bool enabled;
    };
    const Case cases[] = {
        {"", "", false},
        {"   ", "\t \t", false},
        {"开场", "", true},
        {"", "第二行", true},
        {" ", " x ", true},
        {"\xE3\x80\x80", "", true}, // a full-width space is a character the
                                    // screens draw
        {"", "", false},            // and back: re-evaluated on every change
    };
    for (const Case& c : cases) {
        m_edit1->setText(QString::fromUtf8(c.row1));
        m_edit2->setText(QString::fromUtf8(c.row2));
        EXPECT_EQ(m_ok->isEnabled(), c.enabled) << '"' << c.row1 << "\" / \"" << c.row2 << '"';
    }
}

TEST_F(TempFormTest, TypingAndLoadingReEvaluateOk) {
    QTest::keyClicks(m_edit2, QStringLiteral("a"));
    EXPECT_TRUE(m_ok->isEnabled());
    QTest::keyClick(m_edit2, Qt::Key_Backspace);
    EXPECT_FALSE(m_ok->isEnabled());

    TAdSettings ad;
    m_form.loadSettings(ad);
    EXPECT_TRUE(m_ok->isEnabled());
    ad.hang1 = QStringLiteral(" ");
    ad.hang2.clear();
    m_form.loadSettings(ad);
    EXPECT_FALSE(m_ok->isEnabled());
}

TEST_F(TempFormTest, SettingsRoundTrip) {
    ASSERT_GE(m_form.faces().size(), 1);
    TAdSettings defaults;
    defaults.zit = 0;
    const std::vector<TAdSettings> cases = {defaults, Unusual(m_form)};
    for (const TAdSettings& ad : cases) {
        m_form.loadSettings(ad);
        TAdSettings back;
        back.hang1 = QStringLiteral("stale");
        m_form.storeSettings(back);
        EXPECT_EQ(back, ad) << ad.hang1.toStdString();
        EXPECT_EQ(m_form.row1(), ad.hang1);
        EXPECT_EQ(m_form.row2(), ad.hang2);
        EXPECT_EQ(m_form.colourIndex(), ad.yans);
        EXPECT_EQ(m_form.playAfterDisconnect(), ad.play);
    }
}

TEST_F(TempFormTest, StoredValuesOutsideTheListsLoadAsNoSelectionOrTheNearestEnd) {
    const int faceCount = static_cast<int>(m_form.faces().size());
    const std::vector<std::pair<TAdSettings, TAdSettings>> cases = [&] {
        std::vector<std::pair<TAdSettings, TAdSettings>> list;
        TAdSettings in;
        TAdSettings out;
        in.zit = faceCount;
        in.yans = 3;
        in.dax = 43;
        in.tej = 6;
        in.sud = 0;
        in.tingl = 6;
        out = in;
        out.zit = out.yans = out.dax = out.tej = -1;
        out.sud = 1;
        out.tingl = 5;
        list.emplace_back(in, out);
        in.zit = in.yans = in.dax = in.tej = -5;
        in.sud = 11;
        in.tingl = -1;
        out.sud = 10;
        out.tingl = 0;
        list.emplace_back(in, out);
        return list;
    }();
    for (const auto& [in, expected] : cases) {
        m_form.loadSettings(in);
        TAdSettings back;
        m_form.storeSettings(back);
        EXPECT_EQ(back, expected) << "zit " << in.zit << " sud " << in.sud;
    }
}

TEST_F(TempFormTest, SizeListIndexIsPointsMinusEight) {
    ASSERT_EQ(m_sizes->count(), 43);
    for (int i = 0; i < m_sizes->count(); ++i) {
        EXPECT_EQ(m_sizes->itemText(i), QString::number(i + 8));
        TAdSettings ad;
        ad.dax = i;
        m_form.loadSettings(ad);
        EXPECT_EQ(m_form.style().pointSize, i + 8);
    }
    EXPECT_EQ(m_sizes->itemText(12), QStringLiteral("20"));

    // No size selected: the renderer's rule for a size that is not a number.
    TAdSettings ad;
    ad.dax = 99;
    m_form.loadSettings(ad);
    EXPECT_EQ(m_form.style().pointSize, 12);
}

TEST_F(TempFormTest, StyleFollowsTheControls) {
    // Whatever was loaded, the style agrees with the renderer's own reading
    // of the same settings over the same font list.
    for (const TAdSettings& ad : {TAdSettings{}, Unusual(m_form)}) {
        m_form.loadSettings(ad);
        const AdvertStyle expected = AdvertStyleFromSettings(ad, m_form.faces());
        const AdvertStyle style = m_form.style();
        EXPECT_EQ(style.singleRow, expected.singleRow);
        EXPECT_EQ(style.face, expected.face);
        EXPECT_EQ(style.pointSize, expected.pointSize);
        EXPECT_EQ(style.bold, expected.bold);
        EXPECT_EQ(style.italic, expected.italic);
        EXPECT_EQ(style.colourIndex, expected.colourIndex);
        EXPECT_EQ(style.effect, expected.effect);
        EXPECT_EQ(style.speed, expected.speed);
        EXPECT_EQ(style.pause, expected.pause);
    }

    // The operator's clicks, not only loaded settings.
    TAdSettings ad;
    m_form.loadSettings(ad);
    Child<QRadioButton>(m_form, "RadioButtonRow1B")->click();
    Child<QCheckBox>(m_form, "CheckBoxBold1")->click();
    Child<QComboBox>(m_form, "ComboBoxEffect1")->setCurrentIndex(4);
    Child<QSpinBox>(m_form, "UpDownSpeed1")->setValue(3);
    Child<QSpinBox>(m_form, "UpDownStay1")->setValue(2);
    m_colours->setCurrentIndex(1);
    AdvertStyle style = m_form.style();
    EXPECT_FALSE(style.singleRow);
    EXPECT_TRUE(style.bold);
    EXPECT_FALSE(style.italic);
    EXPECT_EQ(style.effect, 4);
    EXPECT_EQ(style.speed, 3);
    EXPECT_EQ(style.pause, 2);
    EXPECT_EQ(style.colourIndex, 1);
    EXPECT_EQ(style.face, m_faces->currentText());

    // No face and no colour selected: the renderer's default face; the
    // colour index -1 draws yellow there.
    m_faces->setCurrentIndex(-1);
    m_colours->setCurrentIndex(-1);
    style = m_form.style();
    EXPECT_EQ(style.face, QStringLiteral("宋体"));
    EXPECT_EQ(style.colourIndex, -1);
}

TEST_F(TempFormTest, ColourListFollowsTheHorizontalScreen) {
    const QStringList all = {QStringLiteral("红色"), QStringLiteral("绿色"),
                             QStringLiteral("黄色")};
    struct Case {
        int selectedBefore;
        int screenStyle;
        bool keepSelection;
        QStringList items;
        int selectedAfter;
    };
    const Case cases[] = {
        // start-up and project loads: the first entry, whatever was chosen
        {2, 0, false, {all[0]}, 0},
        {2, 1, false, all, 0},
        {-1, 2, false, all, 0},
        // every showing: the choice stays while it exists
        {2, 0, true, {all[0]}, -1},
        {0, 0, true, {all[0]}, 0},
        {1, 2, true, all, 1},
        {2, 1, true, all, 2},
        {-1, 1, true, all, -1},
    };
    for (const Case& c : cases) {
        m_form.rebuildColourList(1, false);
        m_colours->setCurrentIndex(c.selectedBefore);
        m_form.rebuildColourList(c.screenStyle, c.keepSelection);
        EXPECT_EQ(Items(*m_colours), c.items)
            << "before " << c.selectedBefore << " style " << c.screenStyle;
        EXPECT_EQ(m_form.colourIndex(), c.selectedAfter)
            << "before " << c.selectedBefore << " style " << c.screenStyle << " keep "
            << c.keepSelection;
    }
}

TEST_F(TempFormTest, ColourEntriesShowTheirSwatch) {
    m_form.rebuildColourList(2, false);
    const QColor swatches[] = {QColor(255, 0, 0), QColor(0, 128, 0), QColor(255, 255, 0)};
    ASSERT_EQ(m_colours->count(), 3);
    for (int i = 0; i < 3; ++i) {
        const QImage icon = m_colours->itemIcon(i).pixmap(QSize(16, 12)).toImage();
        ASSERT_FALSE(icon.isNull()) << i;
        EXPECT_EQ(icon.pixelColor(icon.width() / 2, icon.height() / 2), swatches[i]) << i;
    }
}

TEST_F(TempFormTest, ButtonsAcceptPreviewAndCancel) {
    m_form.setCaption(QStringLiteral("设置脱机文字"));
    EXPECT_EQ(m_form.windowTitle(), QStringLiteral("设置脱机文字"));

    QSignalSpy preview(&m_form, &TTempForm::previewRequested);
    m_edit1->setText(QStringLiteral("预告"));
    m_form.show();
    QTest::mouseClick(Child<QPushButton>(m_form, "Button3"), Qt::LeftButton);
    EXPECT_EQ(preview.count(), 1);
    EXPECT_TRUE(m_form.isVisible()) << "the preview keeps the dialog open";

    QTest::mouseClick(m_ok, Qt::LeftButton);
    EXPECT_FALSE(m_form.isVisible());
    EXPECT_EQ(m_form.result(), QDialog::Accepted);

    m_form.show();
    QTest::mouseClick(Child<QPushButton>(m_form, "Button2"), Qt::LeftButton);
    EXPECT_FALSE(m_form.isVisible());
    EXPECT_EQ(m_form.result(), QDialog::Rejected);
    EXPECT_EQ(preview.count(), 1);
    EXPECT_EQ(m_form.row1(), QStringLiteral("预告")) << "the dialog keeps its content";

    // A disabled OK cannot accept, not even with the Enter key.
    m_edit1->clear();
    m_form.show();
    QTest::mouseClick(m_ok, Qt::LeftButton);
    QTest::keyClick(m_edit1, Qt::Key_Return);
    EXPECT_TRUE(m_form.isVisible());
    m_edit1->setText(QStringLiteral("x"));
    QTest::keyClick(m_edit1, Qt::Key_Return);
    EXPECT_FALSE(m_form.isVisible());
    EXPECT_EQ(m_form.result(), QDialog::Accepted);
}

} // namespace
