// SPDX-License-Identifier: MIT
// A number that a text holds and nothing else: a port, a colour, a size, a count of seconds, and,
// where a fraction makes sense, a decimal one.
#pragma once

#include <charconv>
#include <concepts>
#include <optional>
#include <string_view>
#include <system_error>

namespace velmora {

namespace detail {

template <class Number>
std::optional<Number> wholeText(std::string_view text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace detail

// The number the whole text spells in decimal; nothing for an empty text, a blank, a "+", any
// character after the number, or a value out of Number's range. A minus only for a signed Number.
template <std::integral Number>
std::optional<Number> wholeNumber(std::string_view text) {
    return detail::wholeText<Number>(text);
}

// The same for a number that may have a fraction or an exponent ("1.5", "2", "1e3", "-0.25").
// "inf" and "nan" read as themselves: a caller that wants neither checks for them.
inline std::optional<double> decimalNumber(std::string_view text) {
    return detail::wholeText<double>(text);
}

}  // namespace velmora
