#pragma once

#include "core/Settings.h"

#include <QString>
#include <QStringList>

// The project file (.lpf): a script that carries its own screen and text
// settings in the sections [ScreenParam] and [FontEffect], followed by its
// lines after [Content].

// The lines of a project file as SaveProject writes them.
QStringList ProjectFileLines(const TSettings& settings, const QStringList& content);

// Reads the settings sections into `settings` (FrameType and Light stay as they
// are; missing or broken keys take their defaults) and returns the content lines.
// A text without [Content] has no lines.
QStringList ParseProjectText(const QString& text, TSettings& settings);
