// The main window's part in the outputs beside the cards: the DDP output on
// the worker's frame tap and the monitor windows on the renderer's lines, set
// up as Config.ini and the command line say, and their options dialog.
#include "MainForm.h"

#include "ui_MainForm.h"

#include "ui/DialogAnswers.h"
#include "ui/OutputForm.h"

#include <QAction>
#include <QMenu>

void TMainForm::SetUpOutputs() {
    m_worker.SetFrameTap(&m_ddp);
    m_monitors = std::make_unique<MonitorOutputs>(m_rasteriser, this);
    m_renderer.SetLineObserver(m_monitors.get());
    if (!m_ddp.SocketError().isEmpty()) {
        m_worker.monitor().AddLine(QStringLiteral("DDP 输出无法打开端口：") + m_ddp.SocketError());
    }
    QAction* options = m_ui->MenuSettings->addAction(QStringLiteral("输出..."));
    options->setObjectName(QStringLiteral("MenuOutputs"));
    connect(options, &QAction::triggered, this, [this] { OpenOutputOptions(); });
}

void TMainForm::ApplyOutputSettings() {
    for (ScreenId screen : kAllScreens) {
        const TScreenParams& p = m_settings.ActiveSettings.screen(screen);
        m_ddp.SetScreenSize(screen, p.ScreenWidth, p.ScreenHeight);
    }
    const OutputSettings settings =
        WithOverrides(LoadOutputSettings(m_paths.configFile()), m_options.outputs);
    m_ddp.SetOutputs(settings);
    m_monitors->Apply(settings);
}

void TMainForm::OpenOutputOptions() {
    TOutputForm form(this);
    form.loadSettings(LoadOutputSettings(m_paths.configFile()));
    if (m_options.outputs != OutputOverrides()) {
        form.setOverrideNote(QStringLiteral("本次启动的命令行参数优先于这里的设置。"));
    }
    if (RunModal(form) != QDialog::Accepted) {
        return;
    }
    if (const IoStatus saved = SaveOutputSettings(m_paths.configFile(), form.settings()); !saved) {
        m_op.ShowError(saved.message);
        return;
    }
    ApplyOutputSettings();
}
