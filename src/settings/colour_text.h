// SPDX-License-Identifier: MIT
// Colours as the settings store keeps them: the plain decimal text of the 32-bit value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace velmora::settings {

// "0", "255", "-1": digits, a leading "-" only for a negative value.
std::string colourText(Colour colour);

// The colour a stored text names, or nullopt when it is no decimal integer in the 32-bit signed
// range (letters, the empty text, too large). Spaces around the number are allowed.
std::optional<Colour> parseColour(std::string_view text);

}  // namespace velmora::settings
