// SPDX-License-Identifier: MIT
// A number that a text holds and nothing else: a port, a colour, a size, a count of seconds.
#pragma once

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

namespace velmora {

// The number the whole text spells in decimal; nothing for an empty text, a blank, a "+", any
// character after the number, or a value out of Number's range. A minus only for a signed Number.
template <class Number>
std::optional<Number> wholeNumber(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace velmora
