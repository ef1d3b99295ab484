#include "MainFormPorts.h"

#include "core/Operator.h"

void RendererScreens::RenderRows(const QString& row1, const QString& row2) {
    for (ScreenId screen : kAllScreens) {
        const RenderOutcome outcome = m_renderer.RenderSubtitle(screen, row1, row2);
        if (outcome.failed()) {
            m_op.Inform(outcome.message);
        }
    }
}
