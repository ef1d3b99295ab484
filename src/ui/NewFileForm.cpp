#include "NewFileForm.h"

#include "ui_NewFileForm.h"

TNewFileForm::TNewFileForm(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TNewFileForm>()) {
    m_ui->setupUi(this);
    connect(m_ui->RadioButton1, &QRadioButton::toggled, this, &TNewFileForm::UpdateTypes);
    connect(m_ui->RadioButton2, &QRadioButton::toggled, this, &TNewFileForm::UpdateTypes);
    connect(m_ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
    prepare(false);
}

TNewFileForm::~TNewFileForm() = default;

void TNewFileForm::prepare(bool trackOffered) {
    m_ui->RadioButton1->setEnabled(trackOffered);
    (trackOffered ? m_ui->RadioButton1 : m_ui->RadioButton2)->setChecked(true);
    m_ui->RadioButtonType1->setChecked(true);
    UpdateTypes();
}

void TNewFileForm::UpdateTypes() {
    // The track's file is always a lyric file; the formats are for an
    // independent one.
    const bool independent = m_ui->RadioButton2->isChecked();
    for (QRadioButton* type :
         {m_ui->RadioButtonType1, m_ui->RadioButtonType2, m_ui->RadioButtonType3}) {
        type->setEnabled(independent);
    }
}

NewFileChoice TNewFileForm::choice() const {
    NewFileChoice choice;
    choice.forTrack = m_ui->RadioButton1->isEnabled() && m_ui->RadioButton1->isChecked();
    choice.type = m_ui->RadioButtonType2->isChecked()   ? NewFileType::Lrc
                  : m_ui->RadioButtonType3->isChecked() ? NewFileType::Lpf
                                                        : NewFileType::Txt;
    return choice;
}
