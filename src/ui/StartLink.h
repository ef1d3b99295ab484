#pragma once

#include "ui/StationOptions.h"

class OperatorInterface;

// The rehearsal's port offset: the one scripts/run.sh gives the station and
// the virtual LED wall.
inline constexpr int kRehearsalPortOffset = 4321;
// The simulated card a first rehearsal lists on the horizontal screen.
inline const QString kRehearsalCardMac = QStringLiteral("00-1A-2B-3C-4D-5E");

// The operator's two ways of working on a first start.
inline const QString kRehearsalChoice = QStringLiteral("演练（无硬件）");
inline const QString kRealNetworkChoice = QStringLiteral("真实网络");

// Settles the link of a station started without link options, before any
// socket exists. A station that has a Config.ini uses the link stored in its
// section [Link] (the defaults, the real network, when it has none). On the
// very first start, without any Config.ini, the operator chooses between a
// rehearsal on this machine and the real network; the choice goes into
// Config.ini at once, so the next start does not ask again. A rehearsal also
// puts the horizontal screen in use with one simulated card, so that the
// virtual LED wall (led-card-sim --window) shows the lines from the start. A dismissed
// question is a rehearsal: nothing reaches a network the operator did not
// choose. Returns an error text when the stored link cannot be used (the
// station must not guess then); empty when `options.link` is settled.
// User-interface thread.
QString ResolveStartLink(StationOptions& options, OperatorInterface& op);
