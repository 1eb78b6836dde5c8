// SPDX-License-Identifier: MIT
// Colours as the settings store keeps them, read back from whatever text the store holds.
//
// A text is a colour exactly when, without the spaces around it, it is a plain decimal 32-bit
// integer; the colour written out again reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/colour_text.h"

using namespace velmora::settings;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// Digits with an optional leading "-", within the 32-bit signed range, by long arithmetic.
bool isPlainInteger(std::string_view text, long long& value) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return false;
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    const bool negative = text.starts_with('-');
    if (negative) text.remove_prefix(1);
    if (text.empty()) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > 2147483648LL) return false;
    }
    if (negative) value = -value;
    return value <= 2147483647LL;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto colour = parseColour(text);
    long long value = 0;
    check(colour.has_value() == isPlainInteger(text, value));
    if (colour) {
        check(*colour == value);
        check(parseColour(colourText(*colour)) == colour);
    }
    return 0;
}
