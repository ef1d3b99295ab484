#pragma once

#include "core/ScreenId.h"
#include "link/LedThread.h"

#include <QLabel>

#include <array>
#include <optional>

// How the last frame of each screen in use went, for the status line: the
// operator must see at once that a card stopped showing the lines, without
// opening the communication monitor. nullopt for a screen not in use or with
// no frame since the link opened.
using CardStatusReports = std::array<std::optional<FrameReport>, 3>;

// "横屏 2/2  纵屏 1/2（1张超时）" as rich text; failing screens in red.
QString CardStatusText(const CardStatusReports& reports);

// The status-line panel. It pulls the worker's frame reports on a short timer
// (user-interface thread) and counts only frames finished since the link last
// opened, so a report of the previous connection never passes for this one.
class CardStatusPanel : public QLabel {
    Q_OBJECT
public:
    CardStatusPanel(TLedThread& worker, std::function<bool()> connected, QWidget* parent = nullptr);

    // Reads the reports now (the timer does it five times a second).
    void Update();
    // Whether a screen's last frame missed a card (for tests and tooltips).
    bool AnyFailing() const { return m_failing; }

private:
    TLedThread& m_worker;
    std::function<bool()> m_connected;
    std::array<long long, 3> m_framesAtConnect{};
    bool m_failing = false;
};
