#include "OutputForm.h"

#include "ui_OutputForm.h"

#include <QGuiApplication>
#include <QScreen>

TOutputForm::TOutputForm(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TOutputForm>()) {
    m_ui->setupUi(this);
    connect(m_ui->ButtonBox, &QDialogButtonBox::accepted, this, &TOutputForm::accept);
    connect(m_ui->ButtonBox, &QDialogButtonBox::rejected, this, &TOutputForm::reject);
    QStringList monitors{QString()};
    for (const QScreen* screen : QGuiApplication::screens()) {
        monitors.append(screen->name());
    }
    for (ScreenId screen : kAllScreens) {
        row(screen).monitor->addItems(monitors);
        row(screen).monitor->setPlaceholderText(QStringLiteral("不显示"));
    }
}

TOutputForm::~TOutputForm() = default;

TOutputForm::Row TOutputForm::row(ScreenId screen) const {
    switch (screen) {
    case ScreenId::h:
        return {m_ui->EditDdpH, m_ui->CheckSerpentineH, m_ui->SpinBrightnessH, m_ui->ComboMonitorH,
                m_ui->CheckConfidenceH};
    case ScreenId::s:
        return {m_ui->EditDdpS, m_ui->CheckSerpentineS, m_ui->SpinBrightnessS, m_ui->ComboMonitorS,
                m_ui->CheckConfidenceS};
    case ScreenId::x:
        break;
    }
    return {m_ui->EditDdpX, m_ui->CheckSerpentineX, m_ui->SpinBrightnessX, m_ui->ComboMonitorX,
            m_ui->CheckConfidenceX};
}

void TOutputForm::loadSettings(const OutputSettings& settings) {
    for (ScreenId screen : kAllScreens) {
        const ScreenOutputs& outputs = settings.screen(screen);
        const Row fields = row(screen);
        fields.receivers->setText(
            DdpReceiverListText(outputs.ddp).replace(QLatin1Char(','), QStringLiteral(", ")));
        fields.serpentine->setChecked(outputs.pixels.serpentine);
        fields.brightness->setValue(outputs.pixels.brightness);
        fields.monitor->setCurrentText(outputs.monitor);
        fields.confidence->setChecked(outputs.layout == MonitorLayout::Confidence);
    }
    m_ui->LabelError->setText(m_note);
}

OutputSettings TOutputForm::settings() const {
    OutputSettings settings;
    for (ScreenId screen : kAllScreens) {
        ScreenOutputs& outputs = settings.screen(screen);
        const Row fields = row(screen);
        outputs.ddp = ParseDdpReceiverList(fields.receivers->text());
        outputs.pixels.serpentine = fields.serpentine->isChecked();
        outputs.pixels.brightness = fields.brightness->value();
        outputs.monitor = fields.monitor->currentText().trimmed();
        outputs.layout =
            fields.confidence->isChecked() ? MonitorLayout::Confidence : MonitorLayout::Projector;
    }
    return settings;
}

void TOutputForm::setOverrideNote(const QString& note) {
    m_note = note;
    m_ui->LabelError->setText(note);
}

void TOutputForm::accept() {
    for (ScreenId screen : kAllScreens) {
        QStringList bad;
        ParseDdpReceiverList(row(screen).receivers->text(), &bad);
        if (!bad.isEmpty()) {
            m_ui->LabelError->setText(ScreenName(screen) +
                                      QStringLiteral("：不是 IPv4 地址[:端口]：") +
                                      bad.join(QStringLiteral(", ")));
            row(screen).receivers->setFocus();
            return;
        }
    }
    QDialog::accept();
}
