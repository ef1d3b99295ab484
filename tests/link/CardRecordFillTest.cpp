// A card's answer to a search, read into the screen-parameter page.
#include "link/CardRecordFill.h"

#include <gtest/gtest.h>

namespace {

// A record as a card answers: width / 8 at 8-9, height at 10-11, scan code at
// 12, card code at 14, OE at 15, data polarity at 18.
CardRecordBytes Record(int width, int height, int scanCode, int cardCode, int oe = 0,
                       int data = 0) {
    CardRecordBytes record{};
    record[8] = static_cast<std::uint8_t>((width / 8) & 0xFF);
    record[9] = static_cast<std::uint8_t>((width / 8) >> 8);
    record[10] = static_cast<std::uint8_t>(height & 0xFF);
    record[11] = static_cast<std::uint8_t>(height >> 8);
    record[12] = static_cast<std::uint8_t>(scanCode);
    record[14] = static_cast<std::uint8_t>(cardCode);
    record[15] = static_cast<std::uint8_t>(oe);
    record[18] = static_cast<std::uint8_t>(data);
    return record;
}

TEST(FillFromCard, VerticalCardIsTurned) {
    TScreenParams page;
    FillFromCard(ScreenId::s, Record(256, 32, 0x10, 2, 1, 1), page);
    EXPECT_EQ(page.ScreenWidth, 32);
    EXPECT_EQ(page.ScreenHeight, 256);
    EXPECT_EQ(page.ScreenStyle, 1);
    EXPECT_EQ(page.OePol, 1);
    EXPECT_EQ(page.DataPol, 1);

    FillFromCard(ScreenId::h, Record(256, 32, 0x10, 2), page);
    EXPECT_EQ(page.ScreenWidth, 256);
    EXPECT_EQ(page.ScreenHeight, 32);
}

TEST(FillFromCard, ScanCodes) {
    struct Case {
        int code;
        int expected; // the scan entry, or the page's own (7) when unchanged
    };
    const std::vector<Case> cases = {
        {0x10, 0}, {0x08, 1}, {0x18, 2}, {0x28, 3}, {0x38, 7}, // 8-scan beyond fold 2: kept
        {0x14, 4}, {0x24, 5}, {0x34, 6}, {0x44, 7}, {0x54, 8},
        {0x64, 9}, {0x04, 7}, {0x74, 7}, // 4-scan straight or fold 7: kept
        {0x03, 0}, {0x22, 0}, {0x00, 0}, {0xFF, 0},
    };
    for (const Case& c : cases) {
        TScreenParams page;
        page.ScanStyle = 7;
        FillFromCard(ScreenId::h, Record(256, 32, c.code, 1), page);
        EXPECT_EQ(page.ScanStyle, c.expected) << "code 0x" << std::hex << c.code;
    }
}

TEST(FillFromCard, CardCodeGivesTheColour) {
    const std::vector<std::pair<int, int>> cases = {{1, 0}, {3, 0}, {5, 0}, {2, 1}, {4, 1},
                                                    {6, 1}, {8, 2}, {0, 2}, {7, 2}, {255, 2}};
    for (const auto& [code, colour] : cases) {
        TScreenParams page;
        FillFromCard(ScreenId::x, Record(256, 32, 0x10, code), page);
        EXPECT_EQ(page.ScreenStyle, colour) << "card code " << code;
    }
}

TEST(FillFromCard, ForeignValuesStayWithinWhatTheDialogShows) {
    TScreenParams page;
    page.OePol = 1;
    page.DataPol = 0;
    // 4096 wide and 1000 high on the horizontal screen, polarity bytes of 7.
    FillFromCard(ScreenId::h, Record(4096, 1000, 0x10, 1, 7, 7), page);
    EXPECT_EQ(page.ScreenWidth, 2048);
    EXPECT_EQ(page.ScreenHeight, 128);
    EXPECT_EQ(page.OePol, 1);
    EXPECT_EQ(page.DataPol, 0);
    // An empty record (a card that reports nothing) gives the smallest sizes.
    FillFromCard(ScreenId::s, CardRecordBytes{}, page);
    EXPECT_EQ(page.ScreenWidth, 16);
    EXPECT_EQ(page.ScreenHeight, 64);
}

} // namespace
