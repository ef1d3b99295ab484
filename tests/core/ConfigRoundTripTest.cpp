#include "core/IniFile.h"
#include "core/Settings.h"
#include "core/TextFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

// Config.ini is read at every start and written at every exit, so the settings
// of one start must be the settings of the next whatever the file held.

namespace {

struct RoundTrip {
    SettingsStore first;
    SettingsStore second;
    QByteArray written;
};

RoundTrip LoadSaveLoad(const QByteArray& fileBytes) {
    TempDir dir;
    const QString path = dir.write(QStringLiteral("Config.ini"), fileBytes);
    RoundTrip trip;
    LoadConfig(trip.first, path);
    EXPECT_TRUE(static_cast<bool>(SaveConfig(trip.first, path)));
    trip.written = TempDir::read(path);
    LoadConfig(trip.second, path);
    return trip;
}

void ExpectSameSettings(const SettingsStore& a, const SettingsStore& b) {
    EXPECT_EQ(a.StoredSettings.Link, b.StoredSettings.Link);
    EXPECT_EQ(a.StoredSettings.Screen, b.StoredSettings.Screen);
    EXPECT_EQ(a.StoredSettings.Text, b.StoredSettings.Text);
    EXPECT_EQ(a.StoredSettings.Effect, b.StoredSettings.Effect);
    EXPECT_EQ(a.Ad, b.Ad);
    EXPECT_EQ(a.Play, b.Play);
    EXPECT_EQ(a.Cards, b.Cards);
}

QByteArray Utf8WithMark(const char* utf8) {
    return QByteArray("\xEF\xBB\xBF") + QByteArray(utf8);
}

TEST(ConfigRoundTrip, CharactersGbkCannotCarryKeepTheirMeaning) {
    struct Case {
        const char* name;
        QByteArray file;
    };
    const Case cases[] = {
        // A U+FEFF inside the file: the line is not a section header when read,
        // so ScreenWidth1 stays in [ScreenParam]; dropping the mark on saving
        // made it one and the width fell back to its default on the next start.
        {"byte order mark inside the file",
         Utf8WithMark("[ScreenParam]\r\n\xEF\xBB\xBF[Other]\r\nScreenWidth1=128\r\n")},
        // The same with a zero-width space inside a key: read as an unknown key,
        // written as ScreenWidth1 in front of the real one.
        {"zero-width space in a key",
         Utf8WithMark("[ScreenParam]\r\nScreen\xE2\x80\x8BWidth1=128\r\n")},
        // A no-break space before a header is trimmed on reading; GBK writes
        // "?" for it and the header was lost.
        {"no-break space before a header",
         Utf8WithMark("[ScreenParam]\r\n\xC2\xA0[Guanggao]\r\nhang1=A\r\n")},
        // Found by the Config.ini fuzz target: a GBK pair with no character
        // reads as U+FFFD, which GBK writes as "?".
        {"GBK pair without a character", QByteArray("[Guanggao]\r\nhang1=Kestrova\xCE"
                                                    "keis\r\n")},
        {"text outside GBK in a value",
         Utf8WithMark("[Options]\r\nLastOpenFile=/show/\xF0\x9F\x8E\xAD Stra\xC3\x9F"
                      "e.lrc\r\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RoundTrip trip = LoadSaveLoad(c.file);
        ExpectSameSettings(trip.first, trip.second);
    }
}

TEST(ConfigRoundTrip, FirstStartReadsTheFileAsBefore) {
    // Fixing the write must not change what an existing file means.
    const RoundTrip markInside =
        LoadSaveLoad(Utf8WithMark("[ScreenParam]\r\n\xEF\xBB\xBF[Other]\r\nScreenWidth1=128\r\n"));
    EXPECT_EQ(markInside.first.StoredSettings.Screen[0].ScreenWidth, 128);
    EXPECT_EQ(markInside.second.StoredSettings.Screen[0].ScreenWidth, 128);

    const RoundTrip path =
        LoadSaveLoad(Utf8WithMark("[Options]\r\nLastOpenFile=/show/\xF0\x9F\x8E\xAD.lrc\r\n"));
    EXPECT_EQ(path.second.Play.LastOpenFile, QString::fromUtf8("/show/\xF0\x9F\x8E\xAD.lrc"));
}

TEST(ConfigRoundTrip, TextGbkCarriesIsStillWrittenAsGbk) {
    const QByteArray gbk = EncodeGbk(QString::fromUtf8(
        "[Guanggao]\r\nhang1=今晚演出\r\n[Options]\r\nLastOpenFile=/演出/第一幕.lrc\r\n"));
    const RoundTrip trip = LoadSaveLoad(gbk);
    ExpectSameSettings(trip.first, trip.second);
    EXPECT_FALSE(trip.written.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(trip.written.contains(EncodeGbk(QString::fromUtf8("hang1=今晚演出\r\n"))));
}

TEST(ConfigRoundTrip, IniTextWithAMarkOnItsFirstLineReadsBackExactly) {
    // A line that itself starts with U+FEFF right after the file's own mark.
    IniFile ini =
        IniFile::FromText(QString(QChar(0xFEFF)) + QStringLiteral("[A]\r\nk=1\r\n[B]\r\n"));
    ASSERT_FALSE(ini.hasSection(QStringLiteral("A")));
    TempDir dir;
    const QString path = dir.file(QStringLiteral("x.ini"));
    ASSERT_TRUE(static_cast<bool>(ini.save(path)));
    EXPECT_EQ(IniFile::FromFile(path).toLines(), ini.toLines());
    EXPECT_FALSE(IniFile::FromFile(path).hasSection(QStringLiteral("A")));
}

} // namespace
