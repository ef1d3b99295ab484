#include "core/IniFile.h"
#include "core/Settings.h"
#include "core/TextFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Card names come from search answers on the network; whatever they hold, the
// next start must find every other key where it was.
TEST(ConfigValues, HostileCardNamesKeepEveryOtherKey) {
    const QString names[] = {
        U("mac:00-11-22-33-44-55 A卡\r\n[Options]\r\nLastOpenFile=/evil"),
        U("mac:00-11-22-33-44-56 B卡\n[ScreenParam]\nmac_s_count=0"),
        U("mac:00-11-22-33-44-57 C\rmac_x_count=0"),
        U("\r\n"),
        U("tab\tnul") + QChar(0) + U("end\x7F"),
    };
    TempDir dir;
    const QString path = dir.file(QStringLiteral("Config.ini"));
    SettingsStore saved;
    saved.Play.LastOpenFile = U("/shows/今晚.lft");
    saved.StoredSettings.screen(ScreenId::x).ScreenWidth = 192;
    for (const QString& name : names) {
        CardEntry entry;
        entry.id = name;
        entry.record.fill(0x5A);
        saved.cards(ScreenId::h).push_back(entry);
    }
    for (ScreenId id : {ScreenId::s, ScreenId::x}) {
        CardEntry entry;
        entry.id = QStringLiteral("mac:AA-BB-CC-DD-EE-0%1").arg(int(id));
        saved.cards(id).push_back(entry);
    }
    // Twice: a second save must not make anything worse.
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(SaveConfig(saved, path));
        SettingsStore loaded;
        LoadConfig(loaded, path);
        EXPECT_EQ(loaded.Play, saved.Play);
        EXPECT_EQ(loaded.StoredSettings, saved.StoredSettings);
        EXPECT_EQ(loaded.cards(ScreenId::s), saved.cards(ScreenId::s));
        EXPECT_EQ(loaded.cards(ScreenId::x), saved.cards(ScreenId::x));
        ASSERT_EQ(loaded.cards(ScreenId::h).size(), std::size(names));
        for (size_t i = 0; i < std::size(names); ++i) {
            const CardEntry& entry = loaded.cards(ScreenId::h)[i];
            EXPECT_EQ(entry.record, saved.cards(ScreenId::h)[i].record);
            EXPECT_EQ(entry.id, IniValueText(names[i]).trimmed());
        }
    }
    const IniFile ini = IniFile::FromFile(path);
    EXPECT_FALSE(ini.value(QStringLiteral("Options"), QStringLiteral("LastOpenFile"))
                     ->contains(QStringLiteral("evil")));
}

TEST(ConfigValues, ValueTextReplacesOnlyControlCharacters) {
    EXPECT_EQ(IniValueText(U("a\r\nb\tc")), U("a  b c"));
    EXPECT_EQ(IniValueText(U("舞台 [Options] x=y ;z")), U("舞台 [Options] x=y ;z"));
    IniFile ini;
    ini.setValue(QStringLiteral("A"), QStringLiteral("k"), U("1\r\n[B]\r\nk=2"));
    EXPECT_EQ(ini.toLines(), QStringList({U("[A]"), U("k=1  [B]  k=2")}));
    EXPECT_FALSE(IniFile::FromText(ini.toLines().join(U("\r\n"))).hasSection(U("B")));
}

TEST(ConfigValues, StationWrittenConfigRoundTripsByteForByte) {
    TempDir dir;
    const QString path = dir.file(QStringLiteral("Config.ini"));
    SettingsStore store;
    CardEntry entry;
    entry.id = U("mac:00-1A-2B-3C-4D-5E 舞台屏->A卡");
    store.cards(ScreenId::h).push_back(entry);
    store.Play.LastOpenFile = U("/歌/模.lft");
    ASSERT_TRUE(SaveConfig(store, path));
    const QByteArray first = TempDir::read(path);
    EXPECT_FALSE(first.startsWith("\xEF\xBB\xBF"));
    SettingsStore loaded;
    LoadConfig(loaded, path);
    ASSERT_TRUE(SaveConfig(loaded, path));
    EXPECT_EQ(TempDir::read(path), first);
}

} // namespace
