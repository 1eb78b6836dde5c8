// SPDX-License-Identifier: MIT
#include "settings/colour_text.h"

#include <charconv>

#include "platform/trim.h"

namespace velmora::settings {

std::string colourText(Colour colour) {
    return std::to_string(colour);
}

std::optional<Colour> parseColour(std::string_view text) {
    text = platform::trimSpaces(text);
    if (text.empty()) return std::nullopt;

    Colour value = 0;
    const char* end = text.data() + text.size();
    // from_chars takes no "+", no blanks and no other base, and reports a value out of range.
    auto [stop, error] = std::from_chars(text.data(), end, value, 10);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace velmora::settings
