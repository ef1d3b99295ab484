#include "core/Settings.h"
#include "core/IniFile.h"
#include "core/TextFiles.h"
#include "support/TempDir.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

SettingsStore LoadFrom(const QString& path) {
    SettingsStore store;
    LoadConfig(store, path);
    return store;
}

QString WriteConfig(const TempDir& dir, const char* utf8Text) {
    return dir.write(QStringLiteral("Config.ini"), EncodeGbk(U(utf8Text)));
}

TEST(Settings, DefaultsWithoutAFile) {
    TempDir dir;
    const SettingsStore store = LoadFrom(dir.file(QStringLiteral("Config.ini")));
    const TSettings& s = store.StoredSettings;
    EXPECT_EQ(s.Link, TLinkSettings({0, 0, 3}));
    for (ScreenId id : kAllScreens) {
        EXPECT_FALSE(s.screen(id).ScreenKind);
        EXPECT_EQ(s.screen(id).Flash, 1);
        EXPECT_EQ(s.screen(id).OePol, 1);
        EXPECT_EQ(s.effect(id), TTextEffect());
        EXPECT_EQ(s.effect(id).Font, U("宋体"));
        EXPECT_TRUE(store.cards(id).empty());
    }
    EXPECT_EQ(s.screen(ScreenId::h).ScreenWidth, 256);
    EXPECT_EQ(s.screen(ScreenId::h).ScreenHeight, 32);
    EXPECT_EQ(s.screen(ScreenId::s).ScreenWidth, 32);
    EXPECT_EQ(s.screen(ScreenId::s).ScreenHeight, 256);
    EXPECT_EQ(s.screen(ScreenId::x).ScreenWidth, 256);
    EXPECT_EQ(s.screen(ScreenId::x).ScreenHeight, 32);
    EXPECT_EQ(s.Text, TTextCommon({0, 2, 1, 1}));
    EXPECT_EQ(store.Ad.hang1, U("Kestrova舞台字幕机"));
    EXPECT_EQ(store.Ad.hang2, U("Kestrova舞台字幕机"));
    EXPECT_TRUE(store.Ad.OneTwo);
    EXPECT_EQ(store.Ad.dax, 12);
    EXPECT_EQ(store.Ad.tej, 1);
    EXPECT_EQ(store.Ad.sud, 8);
    EXPECT_TRUE(store.Ad.play);
    EXPECT_EQ(store.Play, TPlayOptions());
    EXPECT_EQ(store.Play.AutoPlayTimeFile, 10);
    EXPECT_EQ(store.Play.AutoPlayTimeText, 5);
}

SettingsStore EveryKeyChanged() {
    SettingsStore store;
    TSettings& s = store.StoredSettings;
    s.Link = {7, 2, 5};
    int n = 1;
    for (ScreenId id : kAllScreens) {
        s.screen(id) = {true, 2, 100 + n, 40 + n, 1 + n % 2, n + 3, 1, 0, n};
        TTextEffect& e = s.effect(id);
        e.Font = U("文泉驿") + QString::number(n);
        e.Color = 1 + n;
        e.Bold = 1;
        e.Italic = 1;
        e.Row = 2;
        e.AutoSize = n;
        e.SizeWidth = 10 + n;
        e.SizeHeight = 20 + n;
        e.Zjj = true;
        e.Effect = 2 + n;
        e.Speed = 4 + n;
        e.RollStay = n;
        for (int c = 0; c < n; ++c) {
            CardEntry entry;
            entry.id = QStringLiteral("mac:00-11-22-33-44-%1 card->X卡").arg(c);
            for (int b = 0; b < kCardRecordSize; ++b) {
                entry.record[size_t(b)] = std::uint8_t(b * 7 + c + n);
            }
            store.cards(id).push_back(entry);
        }
        ++n;
    }
    s.Text = {1, 9, 3, 2};
    store.Ad = {false, 3, 2, 20, true, true, 4, 2, 5, U("第一行"), U("second"), false};
    store.Play = {3, 72000, 0, true, U("/shows/今晚.lft")};
    return store;
}

TEST(Settings, EveryKeyRoundTrips) {
    TempDir dir;
    const QString path = dir.file(QStringLiteral("Config.ini"));
    const SettingsStore saved = EveryKeyChanged();
    ASSERT_TRUE(SaveConfig(saved, path));
    const SettingsStore loaded = LoadFrom(path);
    EXPECT_EQ(loaded.StoredSettings, saved.StoredSettings);
    EXPECT_EQ(loaded.Ad, saved.Ad);
    EXPECT_EQ(loaded.Play, saved.Play);
    EXPECT_EQ(loaded.Cards, saved.Cards);
}

TEST(Settings, WrittenFileIsGbkWithCrLfAndKeysInTableOrder) {
    TempDir dir;
    const QString path = dir.file(QStringLiteral("Config.ini"));
    ASSERT_TRUE(SaveConfig(SettingsStore(), path));
    const QByteArray bytes = TempDir::read(path);
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_FALSE(bytes.contains("\n\n"));
    EXPECT_TRUE(bytes.contains(EncodeGbk(U("Font1=宋体\r\n"))));
    const QStringList lines = SplitLines(DecodeGbk(bytes));
    const QStringList expectedStart = {
        U("[ScreenParam]"),  U("Light=0"),          U("Com=0"),
        U("Rate=3"),         U("ScreenKind1=0"),    U("ScreenKind2=0"),
        U("ScreenKind3=0"),  U("Flash1=1"),         U("Flash2=1"),
        U("Flash3=1"),       U("ScreenWidth1=256"), U("ScreenHeight1=32"),
        U("ScreenStyle1=0"), U("ScanStyle1=0"),     U("DataPol1=0"),
        U("OePol1=1"),       U("FrameType1=0"),     U("ScreenWidth2=32")};
    ASSERT_GE(lines.size(), expectedStart.size());
    EXPECT_EQ(lines.mid(0, expectedStart.size()), expectedStart);
    const qsizetype font = lines.indexOf(U("[FontEffect]"));
    ASSERT_GE(font, 0);
    EXPECT_EQ(lines.mid(font + 1, 6), QStringList({U("AutoPara=0"), U("ParaLen=2"), U("Align=1"),
                                                   U("Jump=1"), U("Font1=宋体"), U("Color1=1")}));
    EXPECT_GT(lines.indexOf(U("[Options]")), lines.indexOf(U("[Guanggao]")));
    EXPECT_TRUE(lines.contains(U("mac_x_count=0")));
}

TEST(Settings, ValueFormEdgeCases) {
    TempDir dir;
    const QString path = WriteConfig(dir, "[screenparam]\r\n"
                                          "ScreenKind1=01\r\n"
                                          "ScreenKind2=true\r\n"
                                          "ScreenKind3=1\r\n"
                                          "ScreenWidth1=$100\r\n"
                                          "ScreenHeight1=0x40\r\n"
                                          "ScreenWidth3=wide\r\n"
                                          "ScreenHeight3=\r\n"
                                          "[FONTEFFECT]\r\n"
                                          "Zjj1=1\r\n"
                                          "Zjj2=true\r\n"
                                          "Zjj3=5\r\n"
                                          "[Guanggao]\r\n"
                                          "OneTwo=0\r\n"
                                          "play=abc\r\n"
                                          "[Options]\r\n"
                                          "AutoPlayLoopMode=7\r\n"
                                          "AutoPlayCaption=true\r\n"
                                          "AutoPlayTimeFile=99999\r\n");
    const SettingsStore store = LoadFrom(path);
    const TSettings& s = store.StoredSettings;
    EXPECT_FALSE(s.screen(ScreenId::h).ScreenKind);
    EXPECT_FALSE(s.screen(ScreenId::s).ScreenKind);
    EXPECT_TRUE(s.screen(ScreenId::x).ScreenKind);
    EXPECT_EQ(s.screen(ScreenId::h).ScreenWidth, 256);
    EXPECT_EQ(s.screen(ScreenId::h).ScreenHeight, 64);
    EXPECT_EQ(s.screen(ScreenId::x).ScreenWidth, 256);
    EXPECT_EQ(s.screen(ScreenId::x).ScreenHeight, 32);
    EXPECT_TRUE(s.effect(ScreenId::h).Zjj);
    EXPECT_FALSE(s.effect(ScreenId::s).Zjj);
    EXPECT_TRUE(s.effect(ScreenId::x).Zjj);
    EXPECT_FALSE(store.Ad.OneTwo);
    EXPECT_TRUE(store.Ad.play);
    EXPECT_EQ(store.Play.AutoPlayLoopMode, 0);
    EXPECT_FALSE(store.Play.AutoPlayCaption);
    EXPECT_EQ(store.Play.AutoPlayTimeFile, 72000);
}

TEST(Settings, NegativePlayModeIsKeptAndWrittenBack) {
    TempDir dir;
    const QString path = WriteConfig(dir, "[Options]\r\nAutoPlayLoopMode=-1\r\n");
    const SettingsStore store = LoadFrom(path);
    EXPECT_EQ(store.Play.AutoPlayLoopMode, -1);
    ASSERT_TRUE(SaveConfig(store, path));
    EXPECT_EQ(IniFile::FromFile(path).value(U("Options"), U("AutoPlayLoopMode")), U("-1"));
}

TEST(Settings, ShortCardRecordsKeepThePreviousEntrysBytes) {
    TempDir dir;
    const QString full = QString(QStringLiteral("AB")).repeated(kCardRecordSize);
    const QByteArray text =
        EncodeGbk(U("[ScreenParam]\r\nmac_h_count=3\r\nmac_h0=first\r\nmac_h0buf=") + full +
                  U("\r\nmac_h1=second\r\nmac_h2buf=0102zz\r\n"
                    "mac_s_count=1\r\nmac_s0buf=FF\r\n"));
    const QString path = dir.write(QStringLiteral("Config.ini"), text);
    const SettingsStore store = LoadFrom(path);
    const CardList& h = store.cards(ScreenId::h);
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h[0].id, U("first"));
    EXPECT_EQ(h[1].id, U("second"));
    EXPECT_EQ(h[1].record, h[0].record);
    EXPECT_EQ(h[2].record[0], 0x01);
    EXPECT_EQ(h[2].record[1], 0x02);
    EXPECT_EQ(h[2].record[2], 0xAB); // decoding stopped at "zz"
    EXPECT_EQ(h[2].record[519], 0xAB);
    // Each screen's first record starts from zeros, not from another screen's bytes.
    const CardList& s = store.cards(ScreenId::s);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].record[0], 0xFF);
    EXPECT_EQ(s[0].record[1], 0x00);
}

TEST(Settings, CardListsStopAtOneHundred) {
    TempDir dir;
    const QString path = WriteConfig(dir, "[ScreenParam]\r\nmac_x_count=150\r\n");
    EXPECT_EQ(LoadFrom(path).cards(ScreenId::x).size(), size_t(kMaxCards));
}

TEST(Settings, UnknownKeysAndSectionsSurviveASave) {
    TempDir dir;
    const QString path = WriteConfig(dir, "[Show]\r\nH_X=40\r\nH_Y=50\r\nH_fangda=3\r\n\r\n"
                                          "[ScreenParam]\r\nmac_h_count=0\r\nmac_h5=stale\r\n"
                                          "Custom=kept\r\n[Mine]\r\nnote=备注\r\n");
    SettingsStore store = LoadFrom(path);
    store.StoredSettings.Link.Light = 9;
    ASSERT_TRUE(SaveConfig(store, path));
    const IniFile ini = IniFile::FromFile(path);
    EXPECT_EQ(ini.value(U("ScreenParam"), U("Light")), U("9"));
    EXPECT_EQ(ini.value(U("ScreenParam"), U("mac_h5")), U("stale"));
    EXPECT_EQ(ini.value(U("ScreenParam"), U("custom")), U("kept"));
    EXPECT_EQ(ini.value(U("Mine"), U("note")), U("备注"));
    EXPECT_EQ(ReadPreviewPlacement(path, ScreenId::h), PreviewPlacement({40, 50, 3}));
}

TEST(Settings, SaveFailureNamesTheFileAndKeepsTheOldOne) {
    TempDir dir;
    const QString missingDir = dir.file(QStringLiteral("gone/Config.ini"));
    const IoStatus status = SaveConfig(SettingsStore(), missingDir);
    EXPECT_FALSE(status);
    EXPECT_TRUE(status.message.contains(QStringLiteral("Config.ini")));

    // A directory in the file's place cannot be replaced; nothing else is touched.
    const QString blocked = dir.file(QStringLiteral("Config.ini"));
    ASSERT_TRUE(QDir().mkpath(blocked));
    EXPECT_FALSE(SaveConfig(SettingsStore(), blocked));
    EXPECT_TRUE(QFileInfo(blocked).isDir());
}

TEST(Settings, ApplyCopiesAllButLightAndTheColourRuleForcesRed) {
    TempDir dir;
    const QString path =
        WriteConfig(dir, "[ScreenParam]\r\nLight=5\r\nCom=2\r\nScreenStyle1=0\r\n"
                         "ScreenStyle2=1\r\n[FontEffect]\r\nColor1=3\r\nColor2=3\r\n"
                         "Color3=2\r\n[Guanggao]\r\nyans=2\r\n");
    SettingsStore store;
    LoadAndApplyConfig(store, path);
    EXPECT_EQ(store.ActiveSettings.Link.Com, 2);
    EXPECT_EQ(store.ActiveSettings.Link.Light, 0);
    EXPECT_EQ(store.StoredSettings.Link.Light, 5);
    EXPECT_EQ(store.ActiveSettings.effect(ScreenId::h).Color, 1);
    EXPECT_EQ(store.ActiveSettings.effect(ScreenId::s).Color, 3);
    EXPECT_EQ(store.ActiveSettings.effect(ScreenId::x).Color, 1);
    EXPECT_EQ(store.StoredSettings.effect(ScreenId::h).Color, 3);
    EXPECT_EQ(store.Ad.yans, 0);
    ASSERT_TRUE(SaveConfig(store, path));
    EXPECT_EQ(IniFile::FromFile(path).value(U("FontEffect"), U("Color1")), U("3"));

    EXPECT_EQ(ColoursOffered(0), std::vector<int>({1}));
    EXPECT_EQ(ColoursOffered(1), std::vector<int>({1, 2, 3}));
    EXPECT_EQ(ColoursOffered(2), std::vector<int>({1, 2, 3}));
    EXPECT_EQ(LineListTextColour(1), Rgb({255, 0, 0}));
    EXPECT_EQ(LineListTextColour(2), Rgb({0, 128, 0}));
    EXPECT_EQ(LineListTextColour(3), Rgb({128, 128, 0}));
    EXPECT_EQ(LineListTextColour(0), Rgb({128, 128, 0}));
}

TEST(Settings, PreviewPlacementDefaultsAndWrites) {
    TempDir dir;
    const QString path = dir.file(QStringLiteral("Config.ini"));
    EXPECT_EQ(ReadPreviewPlacement(path, ScreenId::s), PreviewPlacement({0, 0, 1}));
    ASSERT_TRUE(WritePreviewPlacement(path, ScreenId::s, {-20, 300, 4}));
    EXPECT_EQ(ReadPreviewPlacement(path, ScreenId::s), PreviewPlacement({-20, 300, 4}));
    EXPECT_EQ(ReadPreviewPlacement(path, ScreenId::x), PreviewPlacement({0, 0, 1}));
    EXPECT_EQ(IniFile::FromFile(path).value(U("Show"), U("S_fangda")), U("4"));
}

} // namespace
