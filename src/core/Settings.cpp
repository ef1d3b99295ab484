#include "Settings.h"

#include "Hex.h"
#include "IniFile.h"
#include "SettingsKeys.h"

#include <algorithm>

namespace {

const QString kScreenParam = QStringLiteral("ScreenParam");
const QString kFontEffect = QStringLiteral("FontEffect");
const QString kGuanggao = QStringLiteral("Guanggao");
const QString kOptions = QStringLiteral("Options");
const QString kShow = QStringLiteral("Show");

QString Key(const char* name) {
    return QString::fromLatin1(name);
}
QString Num(int value) {
    return QString::number(value);
}
QString Flag(bool value) {
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

QString CardPrefix(ScreenId id) {
    return QStringLiteral("mac_") + QLatin1Char(ScreenLetter(id));
}

// Decodes hexadecimal pairs over the start of the record, stopping at the
// first pair that is not hexadecimal; bytes beyond stay as they were.
void DecodeRecordInto(const QString& hex, CardRecordBytes& record) {
    const qsizetype pairs = std::min<qsizetype>(hex.size() / 2, kCardRecordSize);
    for (qsizetype i = 0; i < pairs; ++i) {
        const int hi = HexDigitValue(hex[2 * i]);
        const int lo = HexDigitValue(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            return;
        }
        record[static_cast<size_t>(i)] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
}

QString EncodeRecord(const CardRecordBytes& record) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(record.data()), kCardRecordSize)
            .toHex()
            .toUpper());
}

void ReadCardList(const IniFile& ini, ScreenId id, CardList& list) {
    const QString prefix = CardPrefix(id);
    const int count = std::clamp(
        ReadIniInt(ini, kScreenParam, prefix + QStringLiteral("_count"), 0), 0, kMaxCards);
    list.clear();
    // A short record keeps the bytes of the entry before it; the first entry
    // of a screen starts from zeros.
    CardRecordBytes carried{};
    for (int i = 0; i < count; ++i) {
        const QString idKey = prefix + Num(i);
        CardEntry entry;
        entry.id = ReadIniText(ini, kScreenParam, idKey, QString());
        if (const auto hex = ini.value(kScreenParam, idKey + QStringLiteral("buf"))) {
            DecodeRecordInto(*hex, carried);
        }
        entry.record = carried;
        list.push_back(std::move(entry));
    }
}

} // namespace

QString ScreenKey(const char* name, ScreenId id) {
    return Key(name) + Num(ScreenNumber(id));
}

int ReadIniInt(const IniFile& ini, const QString& section, const QString& key, int defaultValue) {
    const auto text = ini.value(section, key);
    if (!text) {
        return defaultValue;
    }
    return ParseIniInt(*text).value_or(defaultValue);
}

bool ReadIniFlag(const IniFile& ini, const QString& section, const QString& key) {
    return ini.value(section, key) == QStringLiteral("1");
}

QString ReadIniText(const IniFile& ini, const QString& section, const QString& key,
                    const QString& defaultValue) {
    return ini.value(section, key).value_or(defaultValue);
}

void ReadScreenSection(const IniFile& ini, TSettings& settings, bool withFrameType) {
    const TSettings defaults;
    settings.Link.Com = ReadIniInt(ini, kScreenParam, Key("Com"), defaults.Link.Com);
    settings.Link.Rate = ReadIniInt(ini, kScreenParam, Key("Rate"), defaults.Link.Rate);
    for (ScreenId id : kAllScreens) {
        const TScreenParams& d = defaults.screen(id);
        TScreenParams& p = settings.screen(id);
        auto readInt = [&](const char* name, int def) {
            return ReadIniInt(ini, kScreenParam, ScreenKey(name, id), def);
        };
        p.ScreenKind = ReadIniFlag(ini, kScreenParam, ScreenKey("ScreenKind", id));
        p.Flash = readInt("Flash", d.Flash);
        p.ScreenWidth = readInt("ScreenWidth", d.ScreenWidth);
        p.ScreenHeight = readInt("ScreenHeight", d.ScreenHeight);
        p.ScreenStyle = readInt("ScreenStyle", d.ScreenStyle);
        p.ScanStyle = readInt("ScanStyle", d.ScanStyle);
        p.DataPol = readInt("DataPol", d.DataPol);
        p.OePol = readInt("OePol", d.OePol);
        if (withFrameType) {
            p.FrameType = readInt("FrameType", d.FrameType);
        }
    }
}

void ReadFontEffectSection(const IniFile& ini, TSettings& settings, SpacingForm spacing) {
    const TTextCommon dc;
    settings.Text.AutoPara = ReadIniInt(ini, kFontEffect, Key("AutoPara"), dc.AutoPara);
    settings.Text.ParaLen = ReadIniInt(ini, kFontEffect, Key("ParaLen"), dc.ParaLen);
    settings.Text.Align = ReadIniInt(ini, kFontEffect, Key("Align"), dc.Align);
    settings.Text.Jump = ReadIniInt(ini, kFontEffect, Key("Jump"), dc.Jump);
    const TTextEffect d;
    for (ScreenId id : kAllScreens) {
        TTextEffect& e = settings.effect(id);
        auto readInt = [&](const char* name, int def) {
            return ReadIniInt(ini, kFontEffect, ScreenKey(name, id), def);
        };
        e.Font = ReadIniText(ini, kFontEffect, ScreenKey("Font", id), d.Font);
        e.Color = readInt("Color", d.Color);
        e.Bold = readInt("Bold", d.Bold);
        e.Italic = readInt("Italic", d.Italic);
        e.Row = readInt("Row", d.Row);
        e.AutoSize = readInt("AutoSize", d.AutoSize);
        e.SizeWidth = readInt("SizeWidth", d.SizeWidth);
        e.SizeHeight = readInt("SizeHeight", d.SizeHeight);
        if (spacing == SpacingForm::IntegerFlag) {
            e.Zjj = readInt("Zjj", 0) != 0;
        } else {
            const QString text = ReadIniText(ini, kFontEffect, ScreenKey("Zjj", id), QString());
            e.Zjj = text.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0 ||
                    ParseIniInt(text).value_or(0) != 0;
        }
        e.Effect = readInt("Effect", d.Effect);
        e.Speed = readInt("Speed", d.Speed);
        e.RollStay = readInt("RollStay", d.RollStay);
    }
}

void LoadConfig(SettingsStore& store, const QString& path) {
    const IniFile ini = IniFile::FromFile(path);

    TSettings stored;
    stored.Link.Light = ReadIniInt(ini, kScreenParam, Key("Light"), stored.Link.Light);
    ReadScreenSection(ini, stored, true);
    for (ScreenId id : kAllScreens) {
        ReadCardList(ini, id, store.cards(id));
    }
    ReadFontEffectSection(ini, stored, SpacingForm::IntegerFlag);
    store.StoredSettings = stored;

    const TAdSettings da;
    TAdSettings& ad = store.Ad;
    auto adInt = [&](const char* name, int def) {
        return ReadIniInt(ini, kGuanggao, Key(name), def);
    };
    ad.OneTwo = adInt("OneTwo", da.OneTwo ? 1 : 0) != 0;
    ad.zit = adInt("zit", da.zit);
    ad.yans = adInt("yans", da.yans);
    ad.dax = adInt("dax", da.dax);
    ad.zut = adInt("zut", da.zut ? 1 : 0) != 0;
    ad.xiet = adInt("xiet", da.xiet ? 1 : 0) != 0;
    ad.tej = adInt("tej", da.tej);
    ad.sud = adInt("sud", da.sud);
    ad.tingl = adInt("tingl", da.tingl);
    ad.hang1 = ReadIniText(ini, kGuanggao, Key("hang1"), da.hang1);
    ad.hang2 = ReadIniText(ini, kGuanggao, Key("hang2"), da.hang2);
    ad.play = adInt("play", da.play ? 1 : 0) != 0;

    const TPlayOptions dp;
    TPlayOptions& play = store.Play;
    play.AutoPlayLoopMode = ReadIniInt(ini, kOptions, Key("AutoPlayLoopMode"), dp.AutoPlayLoopMode);
    if (play.AutoPlayLoopMode >= 4) {
        play.AutoPlayLoopMode = 0;
    }
    // The spin boxes that show these clamp to their range, and what they show
    // is what gets saved.
    play.AutoPlayTimeFile = std::clamp(
        ReadIniInt(ini, kOptions, Key("AutoPlayTimeFile"), dp.AutoPlayTimeFile), 0, 72000);
    play.AutoPlayTimeText = std::clamp(
        ReadIniInt(ini, kOptions, Key("AutoPlayTimeText"), dp.AutoPlayTimeText), 0, 72000);
    play.AutoPlayCaption = ReadIniFlag(ini, kOptions, Key("AutoPlayCaption"));
    play.LastOpenFile = ReadIniText(ini, kOptions, Key("LastOpenFile"), dp.LastOpenFile);
}

IoStatus SaveConfig(const SettingsStore& store, const QString& path) {
    IniFile ini = IniFile::FromFile(path);
    const TSettings& s = store.StoredSettings;

    auto put = [&](const QString& section, const QString& key, const QString& value) {
        ini.setValue(section, key, value);
    };
    put(kScreenParam, Key("Light"), Num(s.Link.Light));
    put(kScreenParam, Key("Com"), Num(s.Link.Com));
    put(kScreenParam, Key("Rate"), Num(s.Link.Rate));
    for (ScreenId id : kAllScreens) {
        put(kScreenParam, ScreenKey("ScreenKind", id), Flag(s.screen(id).ScreenKind));
    }
    for (ScreenId id : kAllScreens) {
        put(kScreenParam, ScreenKey("Flash", id), Num(s.screen(id).Flash));
    }
    for (ScreenId id : kAllScreens) {
        const TScreenParams& p = s.screen(id);
        put(kScreenParam, ScreenKey("ScreenWidth", id), Num(p.ScreenWidth));
        put(kScreenParam, ScreenKey("ScreenHeight", id), Num(p.ScreenHeight));
        put(kScreenParam, ScreenKey("ScreenStyle", id), Num(p.ScreenStyle));
        put(kScreenParam, ScreenKey("ScanStyle", id), Num(p.ScanStyle));
        put(kScreenParam, ScreenKey("DataPol", id), Num(p.DataPol));
        put(kScreenParam, ScreenKey("OePol", id), Num(p.OePol));
        put(kScreenParam, ScreenKey("FrameType", id), Num(p.FrameType));
    }
    for (ScreenId id : kAllScreens) {
        const QString prefix = CardPrefix(id);
        const CardList& list = store.cards(id);
        const int count = static_cast<int>(std::min<size_t>(list.size(), kMaxCards));
        put(kScreenParam, prefix + QStringLiteral("_count"), Num(count));
        for (int i = 0; i < count; ++i) {
            const CardEntry& entry = list[static_cast<size_t>(i)];
            put(kScreenParam, prefix + Num(i), entry.id);
            put(kScreenParam, prefix + Num(i) + QStringLiteral("buf"), EncodeRecord(entry.record));
        }
    }

    put(kFontEffect, Key("AutoPara"), Num(s.Text.AutoPara));
    put(kFontEffect, Key("ParaLen"), Num(s.Text.ParaLen));
    put(kFontEffect, Key("Align"), Num(s.Text.Align));
    put(kFontEffect, Key("Jump"), Num(s.Text.Jump));
    for (ScreenId id : kAllScreens) {
        const TTextEffect& e = s.effect(id);
        put(kFontEffect, ScreenKey("Font", id), e.Font);
        put(kFontEffect, ScreenKey("Color", id), Num(e.Color));
        put(kFontEffect, ScreenKey("Bold", id), Num(e.Bold));
        put(kFontEffect, ScreenKey("Italic", id), Num(e.Italic));
        put(kFontEffect, ScreenKey("Row", id), Num(e.Row));
        put(kFontEffect, ScreenKey("AutoSize", id), Num(e.AutoSize));
        put(kFontEffect, ScreenKey("SizeWidth", id), Num(e.SizeWidth));
        put(kFontEffect, ScreenKey("SizeHeight", id), Num(e.SizeHeight));
        put(kFontEffect, ScreenKey("Zjj", id), Flag(e.Zjj));
        put(kFontEffect, ScreenKey("Effect", id), Num(e.Effect));
        put(kFontEffect, ScreenKey("Speed", id), Num(e.Speed));
        put(kFontEffect, ScreenKey("RollStay", id), Num(e.RollStay));
    }

    const TAdSettings& ad = store.Ad;
    put(kGuanggao, Key("OneTwo"), Flag(ad.OneTwo));
    put(kGuanggao, Key("zit"), Num(ad.zit));
    put(kGuanggao, Key("yans"), Num(ad.yans));
    put(kGuanggao, Key("dax"), Num(ad.dax));
    put(kGuanggao, Key("zut"), Flag(ad.zut));
    put(kGuanggao, Key("xiet"), Flag(ad.xiet));
    put(kGuanggao, Key("tej"), Num(ad.tej));
    put(kGuanggao, Key("sud"), Num(ad.sud));
    put(kGuanggao, Key("tingl"), Num(ad.tingl));
    put(kGuanggao, Key("hang1"), ad.hang1);
    put(kGuanggao, Key("hang2"), ad.hang2);
    put(kGuanggao, Key("play"), Flag(ad.play));

    const TPlayOptions& play = store.Play;
    put(kOptions, Key("AutoPlayLoopMode"), Num(play.AutoPlayLoopMode));
    put(kOptions, Key("AutoPlayTimeFile"), Num(play.AutoPlayTimeFile));
    put(kOptions, Key("AutoPlayTimeText"), Num(play.AutoPlayTimeText));
    put(kOptions, Key("AutoPlayCaption"), Flag(play.AutoPlayCaption));
    put(kOptions, Key("LastOpenFile"), play.LastOpenFile);

    return ini.save(path);
}

void ApplyStoredSettings(SettingsStore& store) {
    TSettings& active = store.ActiveSettings;
    const TSettings& stored = store.StoredSettings;
    active.Link.Com = stored.Link.Com;
    active.Link.Rate = stored.Link.Rate;
    active.Screen = stored.Screen;
    active.Text = stored.Text;
    active.Effect = stored.Effect;
}

void LoadAndApplyConfig(SettingsStore& store, const QString& path) {
    LoadConfig(store, path);
    ApplyStoredSettings(store);
    ApplyColourRule(store);
}

std::vector<int> ColoursOffered(int screenStyle) {
    if (screenStyle == 0) {
        return {1};
    }
    return {1, 2, 3};
}

void ApplyColourRule(SettingsStore& store) {
    for (ScreenId id : kAllScreens) {
        if (store.ActiveSettings.screen(id).ScreenStyle == 0) {
            store.ActiveSettings.effect(id).Color = 1;
        }
    }
    // The advertisement colour list is rebuilt and its selection returns to the
    // first colour.
    store.Ad.yans = 0;
}

Rgb LineListTextColour(int color) {
    switch (color) {
    case 1:
        return {255, 0, 0};
    case 2:
        return {0, 128, 0};
    default:
        return {128, 128, 0};
    }
}

PreviewPlacement ReadPreviewPlacement(const QString& configPath, ScreenId id) {
    const IniFile ini = IniFile::FromFile(configPath);
    const QString prefix = QString(QChar::fromLatin1(ScreenLetter(id)).toUpper());
    PreviewPlacement placement;
    placement.x = ReadIniInt(ini, kShow, prefix + QStringLiteral("_X"), 0);
    placement.y = ReadIniInt(ini, kShow, prefix + QStringLiteral("_Y"), 0);
    placement.zoom = ReadIniInt(ini, kShow, prefix + QStringLiteral("_fangda"), 1);
    return placement;
}

IoStatus WritePreviewPlacement(const QString& configPath, ScreenId id,
                               const PreviewPlacement& placement) {
    IniFile ini = IniFile::FromFile(configPath);
    const QString prefix = QString(QChar::fromLatin1(ScreenLetter(id)).toUpper());
    ini.setValue(kShow, prefix + QStringLiteral("_X"), Num(placement.x));
    ini.setValue(kShow, prefix + QStringLiteral("_Y"), Num(placement.y));
    ini.setValue(kShow, prefix + QStringLiteral("_fangda"), Num(placement.zoom));
    return ini.save(configPath);
}
