// The editing page's dialogs on their own: what they show and which of
// their commands can act.
#include "support/Wait.h"
#include "ui/CaptionForm.h"
#include "ui/EditForm.h"
#include "ui/NewFileForm.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

struct Commands {
    bool cut, copy, del, paste;
    bool operator==(const Commands&) const = default;
};

Commands Buttons(TEditForm& form) {
    const auto on = [&](const char* name) {
        return form.findChild<QToolButton*>(QString::fromLatin1(name))->isEnabled();
    };
    return {on("ButtonCut"), on("ButtonCopy"), on("ButtonDelete"), on("ButtonPaste")};
}

Commands Menu(TEditForm& form) {
    const auto on = [&](const char* name) {
        const QAction* action = form.contextMenu()->findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(action, nullptr) << name;
        return action != nullptr && action->isEnabled();
    };
    return {on("MenuCut"), on("MenuCopy"), on("MenuDelete"), on("MenuPaste")};
}

} // namespace

TEST(EditFormTest, ShowsTheScriptWithItsCountAndFixedSpacing) {
    TEditForm form;
    form.load({U("第一句"), QString(), U("第三句")});
    EXPECT_EQ(form.statusText(), U("共 3 句字幕"));
    EXPECT_EQ(form.text(), U("第一句\n\n第三句"));
    auto* edit = form.findChild<QTextEdit*>(QStringLiteral("RichEdit1"));
    for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next()) {
        EXPECT_EQ(block.blockFormat().lineHeightType(), int(QTextBlockFormat::FixedHeight));
        EXPECT_DOUBLE_EQ(block.blockFormat().lineHeight(), 17.0 * edit->logicalDpiY() / 72.0);
    }
    EXPECT_FALSE(edit->textCursor().hasSelection());
    form.load({});
    EXPECT_EQ(form.statusText(), U("共 0 句字幕"));
}

TEST(EditFormTest, CommandsFollowTheSelectionAndTheClipboard) {
    QApplication::clipboard()->clear();
    TEditForm form;
    form.load({U("台词")});
    auto* edit = form.findChild<QTextEdit*>(QStringLiteral("RichEdit1"));
    EXPECT_EQ(Buttons(form), (Commands{false, false, false, false}));

    edit->selectAll();
    EXPECT_EQ(Buttons(form), (Commands{true, true, true, false}));
    form.findChild<QToolButton*>(QStringLiteral("ButtonCopy"))->click();
    EXPECT_EQ(QApplication::clipboard()->text(), U("台词"));
    EXPECT_EQ(Buttons(form), (Commands{true, true, true, true}));

    // The context menu is brought in step as it opens.
    emit edit->customContextMenuRequested(QPoint(5, 5));
    EXPECT_EQ(Menu(form), (Commands{true, true, true, true}));
    form.contextMenu()->close();

    form.findChild<QToolButton*>(QStringLiteral("ButtonDelete"))->click();
    EXPECT_EQ(form.text(), QString());
    EXPECT_EQ(Buttons(form), (Commands{false, false, false, true}));
    form.findChild<QToolButton*>(QStringLiteral("ButtonPaste"))->click();
    EXPECT_EQ(form.text(), U("台词"));
    form.findChild<QToolButton*>(QStringLiteral("ButtonUndo"))->click();
    EXPECT_EQ(form.text(), QString());
}

TEST(NewFileFormTest, FormatsOnlyForAnIndependentFile) {
    TNewFileForm form;
    const auto radio = [&](const char* name) {
        return form.findChild<QRadioButton*>(QString::fromLatin1(name));
    };
    form.prepare(true);
    EXPECT_TRUE(radio("RadioButton1")->isChecked());
    EXPECT_FALSE(radio("RadioButtonType1")->isEnabled());
    EXPECT_EQ(form.choice(), (NewFileChoice{true, NewFileType::Txt}));

    radio("RadioButton2")->click();
    EXPECT_TRUE(radio("RadioButtonType3")->isEnabled());
    radio("RadioButtonType2")->click();
    EXPECT_EQ(form.choice(), (NewFileChoice{false, NewFileType::Lrc}));
    radio("RadioButton1")->click();
    EXPECT_FALSE(radio("RadioButtonType2")->isEnabled());

    // Offered no longer: back to an independent TXT file, whatever was chosen.
    form.prepare(false);
    EXPECT_FALSE(radio("RadioButton1")->isEnabled());
    EXPECT_TRUE(radio("RadioButton2")->isChecked());
    EXPECT_TRUE(radio("RadioButtonType1")->isChecked());
    EXPECT_EQ(form.choice(), (NewFileChoice{false, NewFileType::Txt}));
}

TEST(CaptionFormTest, TheLineIsReadyToBeTypedOver) {
    TCaptionForm form;
    form.prepare(U("修改字幕"), U("原来的一句"));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    auto* edit = form.findChild<QLineEdit*>(QStringLiteral("Edit1"));
    EXPECT_EQ(form.windowTitle(), U("修改字幕"));
    EXPECT_EQ(edit->selectedText(), U("原来的一句"));
    ASSERT_EVENTUALLY(edit->hasFocus(), 10000);
    QTest::keyClicks(edit, QStringLiteral("new"));
    EXPECT_EQ(form.text(), QStringLiteral("new"));
}
