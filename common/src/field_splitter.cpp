// SPDX-License-Identifier: MIT
#include "velmora/field_splitter.h"

namespace velmora::link {

namespace {
// UTF-8 continuation bytes (10xxxxxx) belong to the character before them.
bool continues(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}
}  // namespace

std::optional<std::string_view> dropFirst(std::string_view text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t dropped = 0; dropped < count; ++dropped) {
        if (at == text.size()) return std::nullopt;
        ++at;
        while (at < text.size() && continues(text[at])) ++at;
    }
    return text.substr(at);
}

std::optional<std::string_view> dropLast(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::size_t end = text.size() - 1;
    while (end > 0 && continues(text[end])) --end;
    return text.substr(0, end);
}

std::optional<std::string_view> FieldSplitter::next() {
    const std::size_t at = rest_.find(kSeparator);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view field = rest_.substr(0, at);
    rest_.remove_prefix(at + kSeparator.size());
    return field;
}

}  // namespace velmora::link
