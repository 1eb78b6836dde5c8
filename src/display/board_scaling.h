// SPDX-License-Identifier: MIT
// Fits the board to the screen and applies the stored colour scheme, once at start-up.
#pragma once

#include <string_view>

#include "platform/form.h"
#include "platform/services.h"

namespace velmora::display {

// The horizontal and vertical factors from the design canvas to the screen.
struct ScaleFactors {
    float x = 1;
    float y = 1;
};

// Each factor is the quotient in double precision, kept in single precision. Throws an overflow
// Failure when a factor is not a finite number.
ScaleFactors scaleFactorsFor(TwipSize screen);

// Scales the text fields, labels, picture and list from their current geometry and font size,
// and colours them from the store's "Default_color" section (an absent or unreadable value keeps
// the control's current colour).
void applyScalingAndColours(Form& board, TwipSize screen, platform::SettingsStore& store);

// Fits a scaled board to a screen of another size (a host's window that was resized): the same
// controls from their design geometry and font size, as at start-up; the colours stay.
void rescaleBoard(Form& board, TwipSize screen);

// The colour the board shows for a "Default_color" key while none is stored: the design's text
// colour of the first control the key colours, or its background for "Background".
Colour designColour(std::string_view key);

}  // namespace velmora::display
