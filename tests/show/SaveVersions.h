#pragma once

#include <QString>

// Two versions of every file the station replaces (Config.ini, a playlist, a
// script, the show journal), each large enough that writing it takes a while.
// `version` is 0 or 1. Used by the save loop that a test kills and by the
// test that knows what each file may hold afterwards.
struct SaveLoopFiles {
    QString config;
    QString playlist;
    QString script;
    QString journal;
};
SaveLoopFiles SaveLoopPaths(const QString& home);
// Writes all four files of `version` through the station's own code; false
// when a write failed.
bool WriteSaveLoopVersion(const QString& home, int version);
