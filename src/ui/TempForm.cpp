#include "TempForm.h"

#include "ColourList.h"
#include "ui_TempForm.h"

#include "render/FontCatalogue.h"
#include "render/TextRules.h"

TTempForm::TTempForm(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::TTempForm>()) {
    m_ui->setupUi(this);

    const QStringList installed = FontCatalogue::InstalledFaces();
    m_ui->ComboBox1->addItems(installed);
    // Stored settings name "宋体"; the list offers it under that name when a
    // Song face can draw it, otherwise the face it is drawn with.
    qsizetype song = installed.indexOf(QStringLiteral("宋体"));
    if (song < 0) {
        song = installed.indexOf(FontCatalogue::ResolveFace(QStringLiteral("宋体")));
    }
    SelectIndex(m_ui->ComboBox1, song >= 0 ? static_cast<int>(song) : 0);

    for (int points = kMinPointSize; points <= kMaxPointSize; ++points) {
        m_ui->ComboBoxSize->addItem(QString::number(points));
    }
    m_ui->ComboBoxSize->setCurrentIndex(TAdSettings{}.dax);

    rebuildColourList(1, false);

    connect(m_ui->Edit1, &QLineEdit::textChanged, this, &TTempForm::updateOkButton);
    connect(m_ui->Edit2, &QLineEdit::textChanged, this, &TTempForm::updateOkButton);
    connect(m_ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_ui->Button3, &QPushButton::clicked, this, &TTempForm::previewRequested);
    updateOkButton();
}

TTempForm::~TTempForm() = default;

void TTempForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_ui->Edit1->setFocus(Qt::ActiveWindowFocusReason);
    m_ui->Edit1->selectAll();
}

void TTempForm::setCaption(const QString& caption) {
    setWindowTitle(caption);
}

QString TTempForm::row1() const {
    return m_ui->Edit1->text();
}

QString TTempForm::row2() const {
    return m_ui->Edit2->text();
}

int TTempForm::colourIndex() const {
    return m_ui->ColorBox1->currentIndex();
}

AdvertStyle TTempForm::style() const {
    AdvertStyle style;
    style.singleRow = m_ui->RadioButtonRow1A->isChecked();
    if (m_ui->ComboBox1->currentIndex() >= 0) {
        style.face = m_ui->ComboBox1->currentText();
    }
    style.pointSize = AdvertPointSize(m_ui->ComboBoxSize->currentText());
    style.bold = m_ui->CheckBoxBold1->isChecked();
    style.italic = m_ui->CheckBoxItalic1->isChecked();
    style.colourIndex = m_ui->ColorBox1->currentIndex();
    style.effect = m_ui->ComboBoxEffect1->currentIndex();
    style.speed = m_ui->UpDownSpeed1->value();
    style.pause = m_ui->UpDownStay1->value();
    return style;
}

QStringList TTempForm::faces() const {
    QStringList list;
    list.reserve(m_ui->ComboBox1->count());
    for (int i = 0; i < m_ui->ComboBox1->count(); ++i) {
        list.append(m_ui->ComboBox1->itemText(i));
    }
    return list;
}

bool TTempForm::playAfterDisconnect() const {
    return m_ui->CheckBoxPlay->isChecked();
}

void TTempForm::setPlayAfterDisconnect(bool play) {
    m_ui->CheckBoxPlay->setChecked(play);
}

void TTempForm::loadSettings(const TAdSettings& ad) {
    // The two radio buttons are exclusive: checking one unchecks the other.
    (ad.OneTwo ? m_ui->RadioButtonRow1A : m_ui->RadioButtonRow1B)->setChecked(true);
    SelectIndex(m_ui->ComboBox1, ad.zit);
    SelectIndex(m_ui->ColorBox1, ad.yans);
    SelectIndex(m_ui->ComboBoxSize, ad.dax);
    m_ui->CheckBoxBold1->setChecked(ad.zut);
    m_ui->CheckBoxItalic1->setChecked(ad.xiet);
    SelectIndex(m_ui->ComboBoxEffect1, ad.tej);
    m_ui->UpDownSpeed1->setValue(ad.sud);
    m_ui->UpDownStay1->setValue(ad.tingl);
    m_ui->Edit1->setText(ad.hang1);
    m_ui->Edit2->setText(ad.hang2);
    m_ui->CheckBoxPlay->setChecked(ad.play);
}

void TTempForm::storeSettings(TAdSettings& ad) const {
    ad.OneTwo = m_ui->RadioButtonRow1A->isChecked();
    ad.zit = m_ui->ComboBox1->currentIndex();
    ad.yans = m_ui->ColorBox1->currentIndex();
    ad.dax = m_ui->ComboBoxSize->currentIndex();
    ad.zut = m_ui->CheckBoxBold1->isChecked();
    ad.xiet = m_ui->CheckBoxItalic1->isChecked();
    ad.tej = m_ui->ComboBoxEffect1->currentIndex();
    ad.sud = m_ui->UpDownSpeed1->value();
    ad.tingl = m_ui->UpDownStay1->value();
    ad.hang1 = m_ui->Edit1->text();
    ad.hang2 = m_ui->Edit2->text();
    ad.play = m_ui->CheckBoxPlay->isChecked();
}

void TTempForm::rebuildColourList(int horizontalScreenStyle, bool keepSelection) {
    const int previous = m_ui->ColorBox1->currentIndex();
    FillColourList(m_ui->ColorBox1, ColoursOffered(horizontalScreenStyle));
    SelectIndex(m_ui->ColorBox1, keepSelection ? previous : 0);
}

void TTempForm::updateOkButton() {
    // Blank means what the renderer skips: nothing above U+0020, so a row of
    // full-width spaces still counts as text.
    m_ui->Button1->setEnabled(!IsBlankRow(row1()) || !IsBlankRow(row2()));
}
