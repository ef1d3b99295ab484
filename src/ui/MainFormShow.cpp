// The main window's part in the show journal: what it records, what it shows
// when the show comes back, and the option of how a track comes back.
#include "MainForm.h"

#include "ui_MainForm.h"

#include <QAction>
#include <QMenu>

void TMainForm::SetUpShowSession() {
    ShowSessionViews views;
    views.showTempText = [this](const TempTextShown& text) {
        m_tempRows = {text.row1, text.row2};
        m_tempColour = text.colour;
        for (ScreenId screen : kAllScreens) {
            m_renderer.RenderTempText(screen, text.row1, text.row2, text.colour);
        }
    };
    views.showBrightness = [this](int level) {
        m_ui->ButtonLight->setText(LiveControl::BrightnessCaption(level));
    };
    views.showRecoveredEdits = [this] {
        m_ui->PageControl1->setCurrentIndex(1);
        FinishEdit(EditOutcome{true, -1});
    };
    m_show = std::make_unique<ShowSession>(
        ShowSession::Parts{m_settings, m_document, m_playlist, m_player, m_live, m_worker, m_op,
                           m_paths.configFile(), m_paths.dataDir()},
        std::move(views));

    QAction* pause = m_ui->MenuSettings->addAction(QStringLiteral("异常退出恢复后暂停播放"));
    pause->setObjectName(QStringLiteral("MenuPauseAfterRecovery"));
    pause->setCheckable(true);
    pause->setChecked(m_show->options().pauseAfterRecovery);
    connect(pause, &QAction::toggled, this, [this](bool on) {
        RecoveryOptions options = m_show->options();
        options.pauseAfterRecovery = on;
        if (const IoStatus saved = m_show->SetOptions(options); !saved) {
            m_op.ShowError(saved.message);
        }
    });
}

void TMainForm::CloseUnattended() {
    m_unattendedClose = true;
    close();
}
