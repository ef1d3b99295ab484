#include "CardRecordFill.h"

#include <algorithm>

PageSizeRange PageSizeRangeOf(ScreenId screen) {
    switch (screen) {
    case ScreenId::h:
        return {64, 2048, 16, 128};
    case ScreenId::s:
        return {16, 128, 64, 784};
    case ScreenId::x:
        break;
    }
    return {64, 784, 16, 128};
}

int ScreenStyleOfCardType(int cardType) {
    switch (cardType) {
    case 1:
    case 3:
    case 5:
        return 0;
    case 2:
    case 4:
    case 6:
        return 1;
    default:
        return 2;
    }
}

std::optional<int> ScanEntryOfCode(int scanCode) {
    if (scanCode == 0x10) {
        return 0;
    }
    const int scan = scanCode & 0x0F;
    const int fold = (scanCode >> 4) & 0x0F;
    if (scan == 8) {
        if (fold <= 2) {
            return 1 + fold;
        }
        return std::nullopt;
    }
    if (scan == 4) {
        if (fold >= 1 && fold <= 6) {
            return 3 + fold;
        }
        return std::nullopt;
    }
    return 0;
}

void FillFromCard(ScreenId screen, const CardRecordBytes& record, TScreenParams& page) {
    const int width = (record[8] | (record[9] << 8)) * 8;
    const int height = record[10] | (record[11] << 8);
    const bool turned = screen == ScreenId::s;
    const PageSizeRange range = PageSizeRangeOf(screen);
    page.ScreenWidth = std::clamp(turned ? height : width, range.minWidth, range.maxWidth);
    page.ScreenHeight = std::clamp(turned ? width : height, range.minHeight, range.maxHeight);
    if (const std::optional<int> entry = ScanEntryOfCode(record[12])) {
        page.ScanStyle = *entry;
    }
    page.ScreenStyle = ScreenStyleOfCardType(record[14]);
    if (record[15] <= 1) {
        page.OePol = record[15];
    }
    if (record[18] <= 1) {
        page.DataPol = record[18];
    }
}
