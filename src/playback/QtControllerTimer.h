#pragma once

#include "ControllerTimer.h"

#include <QTimer>

// ControllerTimer on a QTimer of the user-interface thread.
class QtControllerTimer : public ControllerTimer {
public:
    QtControllerTimer();
    void SetHandler(std::function<void()> handler) override;
    void Start(int intervalMs) override;
    void Stop() override;
    bool IsActive() const override;

private:
    QTimer m_timer;
    std::function<void()> m_handler;
};
