#include "core/IniFile.h"

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TEST(IniFile, SectionsAndKeysIgnoreCase) {
    const IniFile ini =
        IniFile::FromText(U("[screenparam]\r\nSCREENWIDTH1 = 128 \r\n[Other]\r\nx=1\r\n"));
    EXPECT_EQ(ini.value(U("ScreenParam"), U("ScreenWidth1")), U("128"));
    EXPECT_EQ(ini.value(U("SCREENPARAM"), U("screenwidth1")), U("128"));
    EXPECT_FALSE(ini.value(U("ScreenParam"), U("x")).has_value());
    EXPECT_FALSE(ini.value(U("Missing"), U("x")).has_value());
}

TEST(IniFile, FirstOfDuplicateKeysWinsAndLongValuesAreCut) {
    const QString longValue(5000, u'z');
    const IniFile ini = IniFile::FromText(U("[A]\nk=first\nk=second\nlong=") + longValue + U("\n"));
    EXPECT_EQ(ini.value(U("A"), U("K")), U("first"));
    EXPECT_EQ(ini.value(U("A"), U("long"))->size(), IniFile::kMaxValueLength);
}

TEST(IniFile, SetValueUpdatesInPlaceAndKeepsEverythingElse) {
    IniFile ini =
        IniFile::FromText(U("; comment\r\n[A]\r\nkeep=1\r\nKey=old\r\n\r\n[B]\r\nunknown=yes\r\n"));
    ini.setValue(U("a"), U("key"), U("new"));
    ini.setValue(U("A"), U("added"), U("2"));
    ini.setValue(U("C"), U("fresh"), U("3"));
    EXPECT_EQ(ini.toLines(),
              QStringList({U("; comment"), U("[A]"), U("keep=1"), U("Key=new"), U("added=2"), U(""),
                           U("[B]"), U("unknown=yes"), U("[C]"), U("fresh=3")}));
}

TEST(IniFile, IntegerFormsTable) {
    struct Case {
        const char* text;
        std::optional<int> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"-1", -1},
        {"256", 256},
        {"+7", 7},
        {"$10", 16},
        {"0x1F", 31},
        {"0X1f", 31},
        {"$FFFFFFFF", -1},
        {"-$10", -16},
        {"", std::nullopt},
        {"true", std::nullopt},
        {"1.5", std::nullopt},
        {"12a", std::nullopt},
        {"$", std::nullopt},
        {"99999999999", std::nullopt},
        {"0x", std::nullopt},
        {"-", std::nullopt},
        {"２", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseIniInt(U(c.text)), c.value) << c.text;
    }
}

} // namespace
