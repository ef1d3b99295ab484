#include "OfflineForm.h"

#include "ui_OfflineForm.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

TtuojiForm::TtuojiForm(OfflineCommands& commands, OfflineSender& sender, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_commands(commands), m_sender(sender), m_ui(std::make_unique<Ui::TtuojiForm>()) {
    m_ui->setupUi(this);
    m_ui->ButtonStop->setEnabled(false);
    m_ui->ProgressBar1->setRange(0, 1);
    m_ui->ProgressBar1->setValue(0);
    connect(m_ui->ButtonExit, &QPushButton::clicked, this, [this] { QDialog::reject(); });
    connect(m_ui->ButtonStop, &QPushButton::clicked, this, [this] {
        m_sender.Cancel();
        m_ui->ButtonStop->setEnabled(false);
    });
    connect(m_ui->ButtonUpan, &QPushButton::clicked, this, [this] {
        UsbOptions options;
        options.params = m_ui->CheckBox_cs->isChecked();
        options.adverts = m_ui->CheckBox_gg->isChecked();
        options.subtitles = m_ui->CheckBox_zm->isChecked();
        const QString target = m_ui->ComboBox1->currentText().trimmed();
        Run([this, target, options] { m_commands.ExportToUsb(target, options, *this); });
    });
    connect(m_ui->ButtonSend, &QPushButton::clicked, this, [this] {
        NetworkOptions options;
        options.adverts = m_ui->CheckBox_net_gg->isChecked();
        options.subtitles = m_ui->CheckBox_net_zim->isChecked();
        m_ui->ButtonStop->setEnabled(true);
        Run([this, options] { m_commands.SendOverNetwork(options, *this); });
        m_ui->ButtonStop->setEnabled(false);
    });
}

TtuojiForm::~TtuojiForm() = default;

void TtuojiForm::showEvent(QShowEvent* event) {
    refreshDrives();
    QDialog::showEvent(event);
}

void TtuojiForm::refreshDrives() {
    const QString typed = m_ui->ComboBox1->currentText();
    const QStringList volumes = RemovableVolumes();
    m_ui->ComboBox1->clear();
    m_ui->ComboBox1->addItems(volumes);
    m_ui->ComboBox1->setEditText(volumes.size() == 1 ? volumes.first() : typed);
}

void TtuojiForm::reject() {
    // Escape or the window manager: never in the middle of a command.
    if (!m_busy) {
        QDialog::reject();
    }
}

void TtuojiForm::Run(const std::function<void()>& command) {
    m_busy = true;
    for (QWidget* button : {m_ui->ButtonSend, m_ui->ButtonUpan, m_ui->ButtonExit}) {
        button->setEnabled(false);
    }
    m_ui->ProgressBar1->setRange(0, 1);
    m_ui->ProgressBar1->setValue(0);
    m_ui->LabelCard->clear();
    command();
    for (QWidget* button : {m_ui->ButtonSend, m_ui->ButtonUpan, m_ui->ButtonExit}) {
        button->setEnabled(true);
    }
    m_busy = false;
}

QStringList TtuojiForm::logLines() const {
    return m_ui->Memo1->toPlainText().split(QLatin1Char('\n'));
}

void TtuojiForm::Append(const QString& line) {
    m_ui->Memo1->appendPlainText(line);
}

void TtuojiForm::ReplaceLast(const QString& line) {
    QTextCursor cursor(m_ui->Memo1->document()->lastBlock());
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(line);
}

void TtuojiForm::Clear() {
    m_ui->Memo1->clear();
}

void TtuojiForm::ShowProgress(const QString& card, int sent, int total) {
    m_ui->LabelCard->setText(QStringLiteral("卡 ") + card);
    m_ui->ProgressBar1->setRange(0, std::max(total, 1));
    m_ui->ProgressBar1->setValue(std::min(sent, std::max(total, 1)));
    m_ui->ProgressBar1->setFormat(QStringLiteral("%1 / %2").arg(sent).arg(total));
}
