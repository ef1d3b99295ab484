#include "RemoteForm.h"

#include "ui_RemoteForm.h"

TRemoteForm::TRemoteForm(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TRemoteForm>()) {
    m_ui->setupUi(this);
    connect(m_ui->ButtonBox, &QDialogButtonBox::accepted, this, &TRemoteForm::accept);
    connect(m_ui->ButtonBox, &QDialogButtonBox::rejected, this, &TRemoteForm::reject);
}

TRemoteForm::~TRemoteForm() = default;

void TRemoteForm::loadSettings(const RemoteSettings& settings) {
    m_ui->CheckOsc->setChecked(settings.oscEnabled);
    m_ui->SpinOscPort->setValue(settings.oscPort);
    m_ui->CheckWeb->setChecked(settings.webEnabled);
    m_ui->SpinWebPort->setValue(settings.webPort);
    m_ui->EditListen->setText(settings.listen.join(QStringLiteral(", ")));
    m_ui->EditPin->setText(settings.pin);
    m_ui->EditOscAllowed->setText(settings.oscAllowed.join(QStringLiteral(", ")));
    m_ui->LabelError->setText(m_note);
}

RemoteSettings TRemoteForm::settings() const {
    RemoteSettings settings;
    settings.oscEnabled = m_ui->CheckOsc->isChecked();
    settings.oscPort = m_ui->SpinOscPort->value();
    settings.webEnabled = m_ui->CheckWeb->isChecked();
    settings.webPort = m_ui->SpinWebPort->value();
    settings.listen = SplitAddressList(m_ui->EditListen->text());
    settings.pin = m_ui->EditPin->text().trimmed();
    settings.oscAllowed = SplitAddressList(m_ui->EditOscAllowed->text());
    return settings;
}

void TRemoteForm::setOverrideNote(const QString& note) {
    m_note = note;
    m_ui->LabelError->setText(note);
}

void TRemoteForm::accept() {
    const QString error = CheckRemoteSettings(settings());
    if (!error.isEmpty()) {
        m_ui->LabelError->setText(error);
        return;
    }
    QDialog::accept();
}
