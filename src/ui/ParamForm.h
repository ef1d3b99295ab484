#pragma once

#include "offline/ScreenParamControl.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TParamForm;
}
class QListWidget;
class QMenu;

// The screen-parameter dialog ("屏幕参数"): a view over ScreenParamControl.
// Its controls edit the control's pages; searches, loads, parameter files and
// card moves are the control's. The owner shows it modally after the password
// gate, and applies the pages when it is accepted.
class TParamForm : public QDialog {
    Q_OBJECT
public:
    explicit TParamForm(ScreenParamControl& control, QWidget* parent = nullptr);
    ~TParamForm() override;

    // Restricted hides the load and parameter-file buttons and disables the
    // colour, scan and polarity lists of all three pages; service shows and
    // enables them.
    void setAccess(ParamAccess access);
    // What the dialog does whenever it becomes active: the pages take the
    // active settings, the "常规" page comes to the front.
    void prepareToShow();

private:
    void PageToControls(ScreenId screen);
    void ControlsToPage(ScreenId screen);
    void ShowCards(ScreenId screen);
    void ShowCardMenu(ScreenId screen, const QPoint& at);
    QListWidget* CardListWidget(ScreenId screen) const;

    ScreenParamControl& m_control;
    std::unique_ptr<Ui::TParamForm> m_ui;
    std::array<QMenu*, 3> m_cardMenus{};
    bool m_syncing = false;
};
