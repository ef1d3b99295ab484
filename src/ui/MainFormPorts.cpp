#include "MainFormPorts.h"

#include <QCoreApplication>

#include "core/Operator.h"

void RendererScreens::RenderRows(const QString& row1, const QString& row2) {
    for (ScreenId screen : kAllScreens) {
        const RenderOutcome outcome = m_renderer.RenderSubtitle(screen, row1, row2);
        if (outcome.failed()) {
            m_op.Inform(outcome.message);
        }
    }
}

void PlayerReplay::SelectRow(int row) {
    // Selecting the selected line renders nothing; every row must give its record.
    if (m_player.selectedLine() == row) {
        m_player.ForgetLineSelection();
    }
    m_player.SelectLine(row);
}

void PlayerReplay::ProcessEvents() {
    QCoreApplication::processEvents();
}
