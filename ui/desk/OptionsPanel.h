#pragma once
// The options page: fifteen rows, each a label and a value, drawn in the files window
// area; each row's hit zone shrinks to the text drawn, so a click beside the text does
// nothing. Clicking a row changes its setting or opens a dialog (the caller's part).
//
// Threading: main thread only.

#include <QFont>

#include <array>
#include <string>

class DeskPainter;
struct Skin;

namespace options {
// The rows in the order they are drawn.
constexpr std::array<int, 15> kRows = {71, 72, 73, 84, 85, 74, 75, 76, 77, 82, 78, 79, 80, 83, 81};
} // namespace options

// The label and value a row shows for the current settings; values outside a row's
// list are put back to its first value.
struct OptionText {
    std::string label, value;
};
OptionText optionText(int control);

// Changes the setting of a row (the toggles and cycles); false for the dialog rows.
bool stepOption(int control);

// Draws the panel into the back buffer and sets each row's hit zone to its text.
void drawOptionsPanel(DeskPainter& painter, Skin& skin, const QFont& font);
