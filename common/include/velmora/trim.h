// SPDX-License-Identifier: MIT
// Spaces around a field, a stored value or the command line are not part of it.
#pragma once

#include <string_view>

namespace velmora {

// text without its leading and trailing spaces (only ' ': tabs and line ends are kept).
inline std::string_view trimSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace velmora
