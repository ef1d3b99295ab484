#pragma once

#include <QDialog>
#include <QStringList>

#include <memory>

namespace Ui {
class TEditForm;
}
class QMenu;

// "剧本编辑": the whole script as plain text, with cut, copy, paste, undo and
// delete on buttons and in the context menu, each enabled only when it can
// act, and the number of lines on the status bar.
class TEditForm : public QDialog {
    Q_OBJECT
public:
    explicit TEditForm(QWidget* parent = nullptr);
    ~TEditForm() override;

    // Shows the lines in "宋体" 12 with a fixed line spacing of 17 points and
    // "共 N 句字幕" on the status bar.
    void load(const QStringList& lines);
    QString text() const;
    QString statusText() const;
    QMenu* contextMenu() const { return m_menu; }

protected:
    // The dialog opens ready for typing: keys pressed before a click would be lost.
    void showEvent(QShowEvent* event) override;

private:
    // The commands that need a selection or text on the clipboard follow them.
    void UpdateCommands();

    std::unique_ptr<Ui::TEditForm> m_ui;
    QMenu* m_menu = nullptr;
};
