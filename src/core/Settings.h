#pragma once

#include "IoStatus.h"
#include "ScreenId.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// The settings records every subsystem shares, the two instances of them and
// the Config.ini file that holds the stored one.

struct TLinkSettings {
    int Light = 0; // 0..16, last brightness sent to the cards
    int Com = 0;   // carried only; the link always uses every interface
    int Rate = 3;  // carried only

    bool operator==(const TLinkSettings&) const = default;
};

struct TScreenParams {
    bool ScreenKind = false; // screen in use
    int Flash = 1;           // 1 horizontal text, 2 vertical text
    int ScreenWidth = 256;
    int ScreenHeight = 32;
    int ScreenStyle = 0; // 0 single, 1 dual, 2 three colours
    int ScanStyle = 0;   // 0..9
    int DataPol = 0;
    int OePol = 1;
    int FrameType = 0; // carried through unchanged

    bool operator==(const TScreenParams&) const = default;
};

struct TTextCommon {
    int AutoPara = 0; // 0 = whole lines, otherwise cut into segments
    int ParaLen = 2;  // segment length in Chinese characters
    int Align = 1;    // 1 left, 2 centre, other right
    int Jump = 1;     // 1 one line per step, other two lines

    bool operator==(const TTextCommon&) const = default;
};

struct TTextEffect {
    QString Font = QStringLiteral("宋体");
    int Color = 1; // 1 red, 2 green, 3 yellow
    int Bold = 0;
    int Italic = 0;
    int Row = 1;      // 1 single row, other double row
    int AutoSize = 3; // 1 fit width and height, 2 fit height, other fixed size
    int SizeWidth = 24;
    int SizeHeight = 24;
    bool Zjj = false; // automatic character spacing
    int Effect = 0;   // 0..5
    int Speed = 1;    // 1..10
    int RollStay = 1; // 0..5

    bool operator==(const TTextEffect&) const = default;
};

struct TAdSettings {
    bool OneTwo = true; // single row
    int zit = 0;        // font list index
    int yans = 0;       // colour list index
    int dax = 12;       // size list index, size = dax + 8
    bool zut = false;   // bold
    bool xiet = false;  // italic
    int tej = 1;        // effect index
    int sud = 8;        // speed
    int tingl = 0;      // pause
    QString hang1 = QStringLiteral("Kestrova舞台字幕机");
    QString hang2 = QStringLiteral("Kestrova舞台字幕机");
    bool play = true; // cards play the advertisement after the link is closed

    bool operator==(const TAdSettings&) const = default;
};

struct TPlayOptions {
    int AutoPlayLoopMode = 0;  // 0..3; a negative value behaves as 0
    int AutoPlayTimeFile = 10; // tenths of a second between files
    int AutoPlayTimeText = 5;  // tenths of a second between untimed lines
    bool AutoPlayCaption = false;
    QString LastOpenFile;

    bool operator==(const TPlayOptions&) const = default;
};

inline constexpr int kCardRecordSize = 520;
inline constexpr int kMaxCards = 100;
using CardRecordBytes = std::array<std::uint8_t, kCardRecordSize>;

struct CardEntry {
    QString id; // "mac:" + address text + name and model, as listed
    CardRecordBytes record{};

    bool operator==(const CardEntry&) const = default;
};
// At most kMaxCards entries; more are neither stored nor loaded.
using CardList = std::vector<CardEntry>;

// The link, screen and text records. They exist twice: as stored in Config.ini
// and as used by rendering, sending and the project writer.
struct TSettings {
    TLinkSettings Link;
    std::array<TScreenParams, 3> Screen{
        TScreenParams{}, TScreenParams{false, 1, 32, 256, 0, 0, 0, 1, 0}, TScreenParams{}};
    TTextCommon Text;
    std::array<TTextEffect, 3> Effect{};

    TScreenParams& screen(ScreenId id) { return Screen[ScreenIndex(id)]; }
    const TScreenParams& screen(ScreenId id) const { return Screen[ScreenIndex(id)]; }
    TTextEffect& effect(ScreenId id) { return Effect[ScreenIndex(id)]; }
    const TTextEffect& effect(ScreenId id) const { return Effect[ScreenIndex(id)]; }

    bool operator==(const TSettings&) const = default;
};

// Everything the settings store holds. Light, the advertisement, the play
// options and the card lists exist once; Light lives in StoredSettings.
struct SettingsStore {
    TSettings StoredSettings;
    TSettings ActiveSettings;
    TAdSettings Ad;
    TPlayOptions Play;
    std::array<CardList, 3> Cards;

    CardList& cards(ScreenId id) { return Cards[ScreenIndex(id)]; }
    const CardList& cards(ScreenId id) const { return Cards[ScreenIndex(id)]; }
};

// Fills the stored records, the card lists, the advertisement and the play
// options from Config.ini. A missing file or key gives the defaults; never fails.
void LoadConfig(SettingsStore& store, const QString& path);
// Writes every key, updating the existing file: other keys and sections stay.
// The file is replaced only when it was written whole; a failure names the file.
IoStatus SaveConfig(const SettingsStore& store, const QString& path);
// Copies Com, Rate, the screens, the common text record and the text effects
// from the stored into the active records (Light is not copied).
void ApplyStoredSettings(SettingsStore& store);
// LoadConfig, then ApplyStoredSettings and the colour rule.
void LoadAndApplyConfig(SettingsStore& store, const QString& path);

// Colour rule: a single-colour screen can only show red.
struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    bool operator==(const Rgb&) const = default;
};
// The Color values a screen of this colour kind offers.
std::vector<int> ColoursOffered(int screenStyle);
// Forces red on every active single-colour screen and moves the advertisement
// colour selection to the first colour offered. Runs when settings are applied
// at start-up and when a project is loaded.
void ApplyColourRule(SettingsStore& store);
// Text colour of the line list, from the active Color of screen 1.
Rgb LineListTextColour(int color);

// Placement of a screen's preview window, in section Show.
struct PreviewPlacement {
    int x = 0;
    int y = 0;
    int zoom = 1;
    bool operator==(const PreviewPlacement&) const = default;
};
PreviewPlacement ReadPreviewPlacement(const QString& configPath, ScreenId id);
IoStatus WritePreviewPlacement(const QString& configPath, ScreenId id,
                               const PreviewPlacement& placement);
