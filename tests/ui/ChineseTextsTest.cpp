// The station speaks Chinese in Qt's own dialogs too, and the faces every
// stored setting names ("宋体", "黑体") are offered, selected and kept.
#include "ui/FontForm.h"
#include "ui/StationApplication.h"

#include "render/FontCatalogue.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

TEST(ChineseTexts, StandardButtonsAndTheFileDialogReadInChinese) {
    QTranslator translator;
    ASSERT_TRUE(InstallQtChineseTexts(translator));
    QMessageBox box(QMessageBox::Question, QStringLiteral("询问"), QStringLiteral("确定吗？"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
    // Captions come with their access key, as "是(&Y)".
    const auto caption = [&box](QMessageBox::StandardButton button) {
        return box.button(button)->text().section(u'(', 0, 0);
    };
    EXPECT_EQ(caption(QMessageBox::Yes), QStringLiteral("是"));
    EXPECT_EQ(caption(QMessageBox::No), QStringLiteral("否"));
    EXPECT_EQ(caption(QMessageBox::Ok), QStringLiteral("确定"));
    EXPECT_EQ(caption(QMessageBox::Cancel), QStringLiteral("取消"));

    QFileDialog dialog(nullptr, QString(), QString(), QStringLiteral("文本文件 (*.txt)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    QStringList labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        labels << label->text();
    }
    const QString all = labels.join(u'|');
    EXPECT_TRUE(all.contains(QStringLiteral("文件名"))) << all.toStdString();
    const auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Open)->text().section(u'(', 0, 0),
              QStringLiteral("打开"));
    QCoreApplication::removeTranslator(&translator);
}

TEST(ChineseTexts, TheStoredFacesAreOfferedAndDrawWithChineseFaces) {
    ASSERT_FALSE(FontCatalogue::ChineseFaces().isEmpty()) << "the install step adds them";
    const QStringList faces = FontCatalogue::InstalledFaces();
    EXPECT_TRUE(faces.contains(QStringLiteral("宋体")));
    EXPECT_TRUE(faces.contains(QStringLiteral("黑体")));
    FontCatalogue::InstallSubstitutions();
    FontCatalogue::InstallSubstitutions(); // twice changes nothing
    const QStringList chinese = FontCatalogue::ChineseFaces();
    for (const char* name : {"宋体", "黑体", "SimSun"}) {
        const QFontInfo drawn(QFont(QString::fromUtf8(name)));
        EXPECT_TRUE(chinese.contains(drawn.family()))
            << name << " -> " << drawn.family().toStdString();
    }
}

TEST(ChineseTexts, TheTextEffectDialogKeepsTheStoredFaceName) {
    SettingsStore store;
    for (TTextEffect& effect : store.ActiveSettings.Effect) {
        effect.Font = QStringLiteral("宋体");
    }
    store.ActiveSettings.Effect[1].Font = QStringLiteral("黑体");
    TFontForm form;
    form.loadFrom(store);
    TSettings stored = store.ActiveSettings;
    for (TTextEffect& effect : stored.Effect) {
        effect.Font.clear();
    }
    form.storeInto(stored);
    EXPECT_EQ(stored.Effect[0].Font, QStringLiteral("宋体"));
    EXPECT_EQ(stored.Effect[1].Font, QStringLiteral("黑体"));
    EXPECT_EQ(stored.Effect[2].Font, QStringLiteral("宋体"));
}
