#pragma once

#include "documents/DocumentSession.h"
#include "documents/SubtitleDocument.h"

#include "core/IoStatus.h"
#include "core/Settings.h"

// A project file carries its own screen and text settings. The current document
// counts as one only when its file is really there and ends in ".lpf" (any
// case); a document whose file has vanished keeps its settings in Config.ini
// like any other, so a confirmed change is never lost to a missing file.
bool KeepsOwnSettings(const SubtitleDocument& document);

// The part of confirming the text effect dialog that follows reading its
// controls into the active records: keeps the text records where the current
// document wants them (the stored settings, or its own project file written
// again) and rebuilds the line list, since paragraphing may have changed.
// Returns the status of writing the project file; without a project nothing is
// written and the result is Ok. The screens and the line list's colour are the
// window's business.
IoStatus ApplyTextEffectSettings(SettingsStore& store, DocumentSession& document);

// The part of applying new screen settings (the screen-parameter dialog's
// "确定" or a readback) that follows copying them into the active records: the
// screens go into the stored settings as well unless the document keeps its
// own, and the line list is rebuilt for the new screens; a project file is
// written again with them. Returns the status of writing the project file.
IoStatus ApplyScreenSettingsToDocument(SettingsStore& store, DocumentSession& document);
