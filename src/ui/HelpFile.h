#pragma once

#include <QString>

// The operator's manual, an HTML page opened with the desktop's viewer.
inline const QString kHelpFileName = QStringLiteral("舞台字幕机使用说明.html");

// The manual: in the station's home directory when a copy is there, otherwise
// beside the executable (a build tree), otherwise in ../share/subtitle-station
// from it (an installed station). Empty when none exists. A directory that happens
// to carry the manual's name does not count.
QString FindHelpFile(const QString& homeDir, const QString& executableDir);
