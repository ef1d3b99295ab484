// The main window's part in a main/backup pair: the role as the options and
// the command line say, the options dialog, the read-only view of a backup,
// the commands that hand the show over by hand, and the role in the status
// line.
#include "MainForm.h"

#include "ui_MainForm.h"

#include "link/LinkMonitor.h"
#include "show/Failover.h"
#include "ui/DialogAnswers.h"
#include "ui/FailoverForm.h"
#include "ui/ManualControlForm.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QToolBar>

#include <cstdio>

void TMainForm::SetUpFailover() {
    FailoverViews views;
    views.entries = [this] { return m_playlist.entries(); };
    views.current = [this] { return m_show->Current(); };
    views.follow = [this](const ShowState& state, const QStringList& entries, bool reload) {
        m_show->Follow(state, entries, reload);
    };
    views.takeOver = [this](const ShowState& last) { m_show->TakeOver(last); };
    views.release = [this] {
        if (m_live.IsConnected()) {
            m_live.Disconnect();
        }
    };
    views.following = [this](bool on) { ShowFollowing(on); };
    views.status = [this](const QString& text) {
        m_op.SetStatus(text);
        // Also where a station run by a script or a service is watched.
        std::fprintf(stderr, "subtitle-station: %s\n", text.toUtf8().constData());
        std::fflush(stderr);
    };
    views.alert = [] { QApplication::beep(); };
    LinkMonitor& monitor = m_worker.monitor();
    views.monitor = [&monitor](const QString& line) { monitor.AddLine(line); };
    views.decided = [this] {
        if (m_finishWhenDecided) {
            m_finishWhenDecided = false;
            m_show->FinishStartUp();
        }
    };
    m_failover = std::make_unique<Failover>(
        std::move(views), QDir(m_paths.dataDir()).filePath(QStringLiteral("mirror")));
    m_show->SetRecordedHook([this](const ShowState& state) { m_failover->Publish(state); });

    m_roleStatus = new QLabel(this);
    m_roleStatus->setObjectName(QStringLiteral("RoleStatus"));
    m_roleStatus->hide();
    statusBar()->addPermanentWidget(m_roleStatus);

    m_ui->MenuCommand->addSeparator();
    m_handOverAction = m_ui->MenuCommand->addAction(QStringLiteral("交给备机"));
    m_handOverAction->setObjectName(QStringLiteral("MenuHandOver"));
    connect(m_handOverAction, &QAction::triggered, this, [this] { m_failover->HandOver(); });
    m_takeOverAction = m_ui->MenuCommand->addAction(QStringLiteral("由本机接管"));
    m_takeOverAction->setObjectName(QStringLiteral("MenuTakeOver"));
    connect(m_takeOverAction, &QAction::triggered, this, [this] { m_failover->TakeOverByHand(); });
    m_handOverAction->setVisible(false);
    m_takeOverAction->setVisible(false);

    QAction* options = m_ui->MenuSettings->addAction(QStringLiteral("主备机..."));
    options->setObjectName(QStringLiteral("MenuFailoverOptions"));
    connect(options, &QAction::triggered, this, [this] { OpenFailoverOptions(); });
}

void TMainForm::StartFailover() {
    const FailoverSettings settings =
        WithOverrides(LoadFailoverSettings(m_paths.configFile()), m_options.failover);
    const QString key =
        !settings.key.isEmpty()
            ? settings.key
            : WithOverrides(LoadRemoteSettings(m_paths.configFile()), m_options.remote).pin;
    std::vector<QHostAddress> showNetwork;
    for (const Ipv4Address& address : m_options.link.EffectiveLocalAddresses()) {
        showNetwork.emplace_back(address.value);
    }
    const QString error = m_failover->Start(settings, key, std::move(showNetwork));
    if (!error.isEmpty()) {
        // The station runs alone; the operator must see why.
        m_op.SetStatus(error);
        m_worker.monitor().AddLine(error);
        std::fprintf(stderr, "subtitle-station: %s\n", error.toUtf8().constData());
        return;
    }
    if (m_failover->phase() == Failover::Phase::Main ||
        m_failover->phase() == Failover::Phase::Deciding) {
        ShowFollowing(false);
    }
}

void TMainForm::OpenFailoverOptions() {
    const FailoverSettings stored = LoadFailoverSettings(m_paths.configFile());
    TFailoverForm form(this);
    form.loadSettings(stored);
    if (m_options.failover.any()) {
        form.setOverrideNote(QStringLiteral("本次启动的命令行参数优先于这里的设置。"));
    }
    if (RunModal(form) != QDialog::Accepted) {
        return;
    }
    const FailoverSettings chosen = form.settings();
    if (const IoStatus saved = SaveFailoverSettings(m_paths.configFile(), chosen); !saved) {
        m_op.ShowError(saved.message);
        return;
    }
    // The pair is formed once at start; changing roles under a running pair
    // is what the hand-over commands are for.
    if (chosen != stored) {
        m_op.SetStatus(QStringLiteral("主备机设置将在下次启动时生效"));
    }
}

void TMainForm::ShowFollowing(bool following) {
    m_show->SetFollowing(following);
    // A backup is a view: nothing the operator does there may reach the
    // cards or change the show it mirrors.
    m_ui->centralwidget->setEnabled(!following);
    m_ui->ToolBar1->setEnabled(!following);
    m_keyForm->setEnabled(!following);
    for (QMenu* menu : {m_ui->MenuFile, m_ui->MenuCommand}) {
        for (QAction* action : menu->actions()) {
            if (action != m_ui->MenuExit && action != m_handOverAction &&
                action != m_takeOverAction) {
                action->setEnabled(!following);
            }
        }
    }
    const bool paired = m_failover->phase() != Failover::Phase::Alone;
    m_handOverAction->setVisible(paired && !following);
    m_takeOverAction->setVisible(paired && following);
    m_roleStatus->setText(following ? Failover::FollowingStatus() : QStringLiteral("主机"));
    m_roleStatus->setVisible(paired);
}

bool TMainForm::FollowsAnotherStation() const {
    return m_failover && m_failover->followingAnother();
}
