// SPDX-License-Identifier: MIT
// How a board cuts the jukebox's messages apart: drop the counted characters, then take fields
// up to each "," (and, for a playlist item, the last one up to a "). Nothing is unescaped.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::jukebox::testing {

// The fields of a "playing" message (1 to 6) or of a "playlist_item" message (0 to 7), or
// nothing where a board's cut would fail.
inline std::optional<std::vector<std::string>> boardFields(std::string_view message) {
    const bool item = message.starts_with("playlist_item");
    const std::size_t dropped = item ? 15 : 9;
    if (message.size() < dropped) return std::nullopt;
    std::string_view rest = message.substr(dropped);
    std::vector<std::string> fields;
    for (int k = 0; k < (item ? 7 : 6); ++k) {
        const auto p = rest.find("\",\"");
        if (p == std::string_view::npos) return std::nullopt;
        fields.emplace_back(rest.substr(0, p));
        rest.remove_prefix(p + 3);
    }
    if (item) {
        const auto quote = rest.find('"');
        if (quote == std::string_view::npos) return std::nullopt;
        fields.emplace_back(rest.substr(0, quote));
    }
    return fields;
}

}  // namespace velmora::jukebox::testing
