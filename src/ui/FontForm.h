#pragma once

#include "core/Settings.h"

#include <QDialog>

#include <array>
#include <memory>

namespace Ui {
class TFontForm;
}
class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;
class QSpinBox;

// The text effect dialog ("文字特效"): the text settings every screen shares
// on page "常规" and each screen's text effect on pages "横屏", "纵屏" and
// "小屏". The owner keeps one instance for the whole session; every showing
// starts with loadFrom, and a confirmed dialog (OK or 预览) is read back with
// storeInto before the owner applies it.
class TFontForm : public QDialog {
    Q_OBJECT
public:
    explicit TFontForm(QWidget* parent = nullptr);
    ~TFontForm() override;

    // Fills the controls from store.ActiveSettings and shows page "常规". A
    // single-colour screen can only be red, so its active Color becomes 1 here
    // and stays so even when the dialog is then cancelled. A Font that is not
    // in the list leaves that list's selection as it was (none on the first
    // showing).
    void loadFrom(SettingsStore& store);

    // Every control into the common record and the three text effects, screens
    // in order 1, 2, 3. A font list without a selection keeps the record's
    // Font; a colour list without one gives Color 0.
    void storeInto(TSettings& active) const;

signals:
    // Button3 "预览": the owner applies the settings without closing the dialog.
    void previewRequested();

private:
    // The controls of one screen page, so the three pages share one code path.
    struct ScreenControls {
        QRadioButton* rowA;
        QRadioButton* rowB;
        QComboBox* font;
        QComboBox* colour;
        QCheckBox* bold;
        QCheckBox* italic;
        QRadioButton* sizeA;
        QRadioButton* sizeB;
        QRadioButton* sizeC;
        QLabel* widthLabel;
        QSpinBox* width;
        QLabel* heightLabel;
        QSpinBox* height;
        QCheckBox* zjj;
        QComboBox* effect;
        QLabel* speedLabel;
        QSpinBox* speed;
        QLabel* stayLabel;
        QSpinBox* stay;
    };

    void updateParagraphControls();
    void updateSizeControls(const ScreenControls& screen);
    void updateEffectControls(const ScreenControls& screen);
    void loadScreen(const ScreenControls& screen, TTextEffect& effect, int screenStyle);
    static void storeScreen(const ScreenControls& screen, TTextEffect& effect);

    std::unique_ptr<Ui::TFontForm> m_ui;
    std::array<ScreenControls, 3> m_screens{};
};
