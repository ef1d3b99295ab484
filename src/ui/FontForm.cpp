#include "FontForm.h"

#include "ColourList.h"
#include "ui_FontForm.h"

#include "render/FontCatalogue.h"

namespace {

void SetEnabled(bool enabled, std::initializer_list<QWidget*> widgets) {
    for (QWidget* widget : widgets) {
        widget->setEnabled(enabled);
    }
}

} // namespace

TFontForm::TFontForm(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::TFontForm>()) {
    m_ui->setupUi(this);
    m_screens = {{
        {m_ui->RadioButtonRow1A, m_ui->RadioButtonRow1B, m_ui->ComboBoxFont1, m_ui->ColorBoxColor1,
         m_ui->CheckBoxBold1, m_ui->CheckBoxItalic1, m_ui->RadioButtonAutoSize1A,
         m_ui->RadioButtonAutoSize1B, m_ui->RadioButtonAutoSize1C, m_ui->LabelWidth1,
         m_ui->UpDownWidth1, m_ui->LabelHeight1, m_ui->UpDownHeight1, m_ui->CheckBox_zjj_h,
         m_ui->ComboBoxEffect1, m_ui->LabelSpeed1, m_ui->UpDownSpeed1, m_ui->LabelStay1,
         m_ui->UpDownStay1},
        {m_ui->RadioButtonRow2A, m_ui->RadioButtonRow2B, m_ui->ComboBoxFont2, m_ui->ColorBoxColor2,
         m_ui->CheckBoxBold2, m_ui->CheckBoxItalic2, m_ui->RadioButtonAutoSize2A,
         m_ui->RadioButtonAutoSize2B, m_ui->RadioButtonAutoSize2C, m_ui->LabelWidth2,
         m_ui->UpDownWidth2, m_ui->LabelHeight2, m_ui->UpDownHeight2, m_ui->CheckBox_zjj_s,
         m_ui->ComboBoxEffect2, m_ui->LabelSpeed2, m_ui->UpDownSpeed2, m_ui->LabelStay2,
         m_ui->UpDownStay2},
        {m_ui->RadioButtonRow3A, m_ui->RadioButtonRow3B, m_ui->ComboBoxFont3, m_ui->ColorBoxColor3,
         m_ui->CheckBoxBold3, m_ui->CheckBoxItalic3, m_ui->RadioButtonAutoSize3A,
         m_ui->RadioButtonAutoSize3B, m_ui->RadioButtonAutoSize3C, m_ui->LabelWidth3,
         m_ui->UpDownWidth3, m_ui->LabelHeight3, m_ui->UpDownHeight3, m_ui->CheckBox_zjj_x,
         m_ui->ComboBoxEffect3, m_ui->LabelSpeed3, m_ui->UpDownSpeed3, m_ui->LabelStay3,
         m_ui->UpDownStay3},
    }};

    const QStringList faces = FontCatalogue::InstalledFaces();
    for (const ScreenControls& screen : m_screens) {
        screen.font->addItems(faces);
        // Filling a list selects its first entry; nothing is chosen until the
        // settings name an installed face or the operator picks one.
        screen.font->setCurrentIndex(-1);

        // Each option of a pair or triple reports its own toggle, so the
        // controls are updated from the button that became checked.
        for (QRadioButton* option : {screen.sizeA, screen.sizeB, screen.sizeC}) {
            connect(option, &QRadioButton::toggled, this, [this, &screen](bool checked) {
                if (checked) {
                    updateSizeControls(screen);
                }
            });
        }
        connect(screen.effect, &QComboBox::currentIndexChanged, this,
                [this, &screen] { updateEffectControls(screen); });
        updateSizeControls(screen);
        updateEffectControls(screen);
    }
    connect(m_ui->RadioButtonParaB, &QRadioButton::toggled, this,
            &TFontForm::updateParagraphControls);
    updateParagraphControls();

    connect(m_ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_ui->Button3, &QPushButton::clicked, this, &TFontForm::previewRequested);
}

TFontForm::~TFontForm() = default;

void TFontForm::loadFrom(SettingsStore& store) {
    m_ui->PageControl1->setCurrentIndex(0);

    TSettings& active = store.ActiveSettings;
    const TTextCommon& text = active.Text;
    (text.AutoPara != 0 ? m_ui->RadioButtonParaB : m_ui->RadioButtonParaA)->setChecked(true);
    m_ui->UpDownPara->setValue(text.ParaLen);
    QRadioButton* align = text.Align == 1   ? m_ui->RadioButtonAlignLeft
                          : text.Align == 2 ? m_ui->RadioButtonAlignCenter
                                            : m_ui->RadioButtonAlignRight;
    align->setChecked(true);
    (text.Jump == 1 ? m_ui->RadioButtonJump1 : m_ui->RadioButtonJump2)->setChecked(true);
    updateParagraphControls();

    for (size_t i = 0; i < m_screens.size(); ++i) {
        loadScreen(m_screens[i], active.Effect[i], active.Screen[i].ScreenStyle);
    }
}

void TFontForm::loadScreen(const ScreenControls& screen, TTextEffect& effect, int screenStyle) {
    // The first face equal without regard to case; a face that is not
    // installed keeps whatever the list showed before.
    for (int i = 0; i < screen.font->count(); ++i) {
        if (screen.font->itemText(i).compare(effect.Font, Qt::CaseInsensitive) == 0) {
            screen.font->setCurrentIndex(i);
            break;
        }
    }

    const std::vector<int> offered = ColoursOffered(screenStyle);
    FillColourList(screen.colour, offered);
    if (offered.size() == 1) {
        // Red is all a single-colour screen can show; the active record says so
        // at once, whatever the operator does with the dialog.
        effect.Color = offered.front();
        screen.colour->setCurrentIndex(0);
    } else {
        SelectIndex(screen.colour, effect.Color - 1);
    }

    screen.bold->setChecked(effect.Bold == 1);
    screen.italic->setChecked(effect.Italic == 1);
    (effect.Row == 1 ? screen.rowA : screen.rowB)->setChecked(true);
    QRadioButton* size = effect.AutoSize == 1   ? screen.sizeA
                         : effect.AutoSize == 2 ? screen.sizeB
                                                : screen.sizeC;
    size->setChecked(true);
    screen.width->setValue(effect.SizeWidth);
    screen.height->setValue(effect.SizeHeight);
    screen.zjj->setChecked(effect.Zjj);
    SelectIndex(screen.effect, effect.Effect);
    screen.speed->setValue(effect.Speed);
    screen.stay->setValue(effect.RollStay);
    // The signals only fire on a change; the controls must match this load.
    updateSizeControls(screen);
    updateEffectControls(screen);
}

void TFontForm::storeInto(TSettings& active) const {
    TTextCommon& text = active.Text;
    text.AutoPara = m_ui->RadioButtonParaA->isChecked() ? 0 : 1;
    text.Align = m_ui->RadioButtonAlignLeft->isChecked()     ? 1
                 : m_ui->RadioButtonAlignCenter->isChecked() ? 2
                                                             : 3;
    text.Jump = m_ui->RadioButtonJump1->isChecked() ? 1 : 2;
    text.ParaLen = m_ui->UpDownPara->value();
    for (size_t i = 0; i < m_screens.size(); ++i) {
        storeScreen(m_screens[i], active.Effect[i]);
    }
}

void TFontForm::storeScreen(const ScreenControls& screen, TTextEffect& effect) {
    // A face this machine does not have (a show prepared elsewhere) stays as
    // it was named: writing an empty name would lose it for the machine the
    // show is played on, and the renderer substitutes an installed face anyway.
    if (screen.font->currentIndex() >= 0) {
        effect.Font = screen.font->currentText();
    }
    effect.Color = screen.colour->currentIndex() + 1;
    effect.Bold = screen.bold->isChecked() ? 1 : 0;
    effect.Italic = screen.italic->isChecked() ? 1 : 0;
    effect.Row = screen.rowA->isChecked() ? 1 : 2;
    effect.AutoSize = screen.sizeA->isChecked() ? 1 : screen.sizeB->isChecked() ? 2 : 3;
    effect.SizeWidth = screen.width->value();
    effect.SizeHeight = screen.height->value();
    effect.Zjj = screen.zjj->isChecked();
    effect.Effect = screen.effect->currentIndex();
    effect.Speed = screen.speed->value();
    effect.RollStay = screen.stay->value();
}

void TFontForm::updateParagraphControls() {
    SetEnabled(m_ui->RadioButtonParaB->isChecked(),
               {m_ui->LabelPara, m_ui->UpDownPara, m_ui->LabelParaUnit});
}

void TFontForm::updateSizeControls(const ScreenControls& screen) {
    SetEnabled(!screen.sizeA->isChecked() && !screen.sizeB->isChecked(),
               {screen.widthLabel, screen.width, screen.heightLabel, screen.height});
}

void TFontForm::updateEffectControls(const ScreenControls& screen) {
    // An index outside the list (none selected) counts as "not 0" and "not 1",
    // as the stored value it came from does.
    const int effect = screen.effect->currentIndex();
    SetEnabled(effect != 0, {screen.speedLabel, screen.speed});
    SetEnabled(effect == 1, {screen.stayLabel, screen.stay});
}
