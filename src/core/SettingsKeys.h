#pragma once

#include "IniFile.h"
#include "Settings.h"

// Reading of the settings sections that Config.ini and project files share.

// Integer key: its value when it converts, otherwise the default.
int ReadIniInt(const IniFile& ini, const QString& section, const QString& key, int defaultValue);
// Flag "1"/"0": true exactly for the one-character text "1".
bool ReadIniFlag(const IniFile& ini, const QString& section, const QString& key);
QString ReadIniText(const IniFile& ini, const QString& section, const QString& key,
                    const QString& defaultValue);

// How a file spells the automatic spacing keys.
enum class SpacingForm {
    IntegerFlag, // Config.ini: an integer, true when not 0
    BooleanText, // project files: "true" in any case, or a non-zero integer
};

// Section ScreenParam: Com, Rate, and per screen ScreenKind, Flash and the
// geometry keys. FrameType is read only when asked for (projects do not carry it).
void ReadScreenSection(const IniFile& ini, TSettings& settings, bool withFrameType);
// Section FontEffect: the common text record and the three text effects.
void ReadFontEffectSection(const IniFile& ini, TSettings& settings, SpacingForm spacing);

QString ScreenKey(const char* name, ScreenId id);
