#pragma once

#include <vector>

class QComboBox;

// The colour lists of the text dialogs: "红色", "绿色", "黄色" with swatches,
// by the colour values (1 red, 2 green, 3 yellow) a screen offers. The
// swatches only tell the entries apart; what the screens draw is the
// renderer's business.
void FillColourList(QComboBox* box, const std::vector<int>& colours);

// Selects `index`; a value outside the list selects nothing rather than a
// wrong entry (a stored index that no longer fits the list).
void SelectIndex(QComboBox* box, int index);
