// SPDX-License-Identifier: MIT
#include "settings/colour_text.h"

#include "velmora/trim.h"
#include "velmora/whole_number.h"

namespace velmora::settings {

std::string colourText(Colour colour) {
    return std::to_string(colour);
}

std::optional<Colour> parseColour(std::string_view text) {
    return velmora::wholeNumber<Colour>(velmora::trimSpaces(text));
}

}  // namespace velmora::settings
