#include "FailoverForm.h"

#include "ui_FailoverForm.h"

namespace {

// The rows of ComboRole.
constexpr int kMainRow = 0;
constexpr int kBackupRow = 1;

} // namespace

TFailoverForm::TFailoverForm(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TFailoverForm>()) {
    m_ui->setupUi(this);
    // The range the settings file accepts, so that a stored value is shown
    // as it is and never clamped on the way back.
    m_ui->SpinSilence->setRange(kMinFailoverSilenceMs, kMaxFailoverSilenceMs);
    connect(m_ui->ButtonBox, &QDialogButtonBox::accepted, this, &TFailoverForm::accept);
    connect(m_ui->ButtonBox, &QDialogButtonBox::rejected, this, &TFailoverForm::reject);
}

TFailoverForm::~TFailoverForm() = default;

void TFailoverForm::loadSettings(const FailoverSettings& settings) {
    m_ui->ComboRole->setCurrentIndex(settings.role == StationRole::Backup ? kBackupRow : kMainRow);
    m_ui->EditPeer->setText(settings.peer);
    m_ui->SpinMirrorPort->setValue(settings.mirrorPort);
    m_ui->SpinSilence->setValue(settings.silenceMs);
    m_ui->EditKey->setText(settings.key);
    m_ui->LabelError->setText(m_note);
}

FailoverSettings TFailoverForm::settings() const {
    FailoverSettings settings;
    settings.role =
        m_ui->ComboRole->currentIndex() == kBackupRow ? StationRole::Backup : StationRole::Main;
    settings.peer = m_ui->EditPeer->text().trimmed();
    settings.mirrorPort = m_ui->SpinMirrorPort->value();
    settings.silenceMs = m_ui->SpinSilence->value();
    // Config.ini gives the key back trimmed; the other station must be given
    // the same one.
    settings.key = m_ui->EditKey->text().trimmed();
    return settings;
}

void TFailoverForm::setOverrideNote(const QString& note) {
    m_note = note;
    m_ui->LabelError->setText(note);
}

void TFailoverForm::accept() {
    const QString error = CheckFailoverSettings(settings());
    if (!error.isEmpty()) {
        m_ui->LabelError->setText(error);
        m_ui->EditPeer->setFocus();
        return;
    }
    QDialog::accept();
}
