#pragma once

#include "core/IoStatus.h"

#include <QString>

// How the station comes back after it ended without closing, kept in a section
// of Config.ini of its own ([ShowRecovery]); the settings store leaves it alone.
struct RecoveryOptions {
    // A track that was playing stands paused at its position instead of
    // playing on from where it would be by now.
    bool pauseAfterRecovery = false;
    bool operator==(const RecoveryOptions&) const = default;
};

// Missing file or key: the defaults.
RecoveryOptions LoadRecoveryOptions(const QString& configPath);
// Updates the section; every other line of the file stays as it is.
IoStatus SaveRecoveryOptions(const QString& configPath, const RecoveryOptions& options);
