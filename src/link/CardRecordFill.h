#pragma once

#include "core/ScreenId.h"
#include "core/Settings.h"

#include <optional>

// What a card reports about itself (its answer to a search, kept as the card
// list entry's record) read into the screen-parameter page of its screen.

// The sizes the screen-parameter dialog offers for a screen, in steps of 16.
struct PageSizeRange {
    int minWidth, maxWidth, minHeight, maxHeight;
};
PageSizeRange PageSizeRangeOf(ScreenId screen);
inline constexpr int kPageSizeStep = 16;

// The colour selection (0 single, 1 dual, 2 three colours) a card type code
// stands for: 1, 3, 5 single, 2, 4, 6 dual, anything else three colours.
int ScreenStyleOfCardType(int cardType);

// The scan entry (0..9) a card's scan code stands for, or nullopt when the code
// names an arrangement the station has no entry for and the page keeps its own.
std::optional<int> ScanEntryOfCode(int scanCode);

// Fills the page's size, colour, scan and polarities from the record. The
// vertical screen's card is turned: its width is the screen's height. Sizes are
// kept within the page's range and a polarity outside the two choices leaves
// the page's own, as the dialog's controls would: a damaged or foreign record
// never puts a size or index into the settings that the dialog cannot show.
void FillFromCard(ScreenId screen, const CardRecordBytes& record, TScreenParams& page);
