// SPDX-License-Identifier: MIT
#include "settings/colour_text.h"

#include "platform/trim.h"
#include "platform/whole_number.h"

namespace velmora::settings {

std::string colourText(Colour colour) {
    return std::to_string(colour);
}

std::optional<Colour> parseColour(std::string_view text) {
    return platform::wholeNumber<Colour>(platform::trimSpaces(text));
}

}  // namespace velmora::settings
