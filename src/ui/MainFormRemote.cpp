// The main window's part in show control from outside: the remotes started
// as the options and the command line say, their status in the status line,
// their options dialog, and what the command set asks of the window.
#include "MainForm.h"

#include "ui_MainForm.h"

#include "ui/DialogAnswers.h"
#include "ui/RemoteForm.h"

#include "link/LinkMonitor.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

void TMainForm::SetUpRemote() {
    m_remote = std::make_unique<RemoteControl>(m_remoteCommands);
    // Bad input from outside is the communication monitor's business, as the
    // cards' failures are.
    LinkMonitor& monitor = m_worker.monitor();
    m_remote->monitor().SetSink([&monitor](const QString& line) { monitor.AddLine(line); });

    m_remoteStatus = new QLabel(this);
    m_remoteStatus->setObjectName(QStringLiteral("RemoteStatus"));
    m_remoteStatus->hide();
    statusBar()->addPermanentWidget(m_remoteStatus);
    connect(m_remote.get(), &RemoteControl::statusChanged, this, [this] {
        const QString text = remoteStatusText();
        m_remoteStatus->setText(text);
        m_remoteStatus->setVisible(!text.isEmpty());
    });

    QAction* options = m_ui->MenuSettings->addAction(QStringLiteral("远程控制..."));
    options->setObjectName(QStringLiteral("MenuRemote"));
    connect(options, &QAction::triggered, this, [this] { OpenRemoteOptions(); });
}

QString TMainForm::remoteStatusText() const {
    return m_remote ? m_remote->StatusText() : QString();
}

void TMainForm::ApplyRemoteSettings() {
    const RemoteSettings settings =
        WithOverrides(LoadRemoteSettings(m_paths.configFile()), m_options.remote);
    // The show network: the addresses the card link binds.
    std::vector<QHostAddress> showNetwork;
    for (const Ipv4Address& address : m_options.link.EffectiveLocalAddresses()) {
        showNetwork.emplace_back(address.value);
    }
    const QStringList errors = m_remote->Apply(settings, showNetwork);
    if (!errors.isEmpty()) {
        m_op.ShowError(errors.join(QLatin1Char('\n')));
    }
}

void TMainForm::OpenRemoteOptions() {
    TRemoteForm form(this);
    form.loadSettings(LoadRemoteSettings(m_paths.configFile()));
    if (m_options.remote.any()) {
        form.setOverrideNote(QStringLiteral("本次启动的命令行参数优先于这里的设置。"));
    }
    if (RunModal(form) != QDialog::Accepted) {
        return;
    }
    if (const IoStatus saved = SaveRemoteSettings(m_paths.configFile(), form.settings()); !saved) {
        m_op.ShowError(saved.message);
        return;
    }
    ApplyRemoteSettings();
}

bool TMainForm::ModalDialogOpen() const {
    return QApplication::activeModalWidget() != nullptr;
}

bool TMainForm::WaitingForCards() const {
    return IsWaitingForCards() || m_closing;
}
