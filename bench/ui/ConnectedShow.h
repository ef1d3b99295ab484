#pragma once

#include "CardBank.h"

#include "ui/LineListView.h"
#include "ui/MainForm.h"
#include "ui/StationOptions.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>

// A station for measurements: its home a show of `entries` scripts of
// `linesPerScript` lines, linked on loopback to `cards` simulated cards of the
// horizontal screen (256 x 32, two colours); the window shown and active,
// connected, with the first line of the list current. `adjust` may change the
// station's options before the window is made.
struct ConnectedShow {
    ConnectedShow(int cards, int entries, int linesPerScript,
                  const std::function<void(StationOptions&)>& adjust = {});
    ~ConnectedShow();

    QTemporaryDir dir;
    std::unique_ptr<CardBank> bank;
    std::unique_ptr<TMainForm> window;
    LineListView* list = nullptr;
};
