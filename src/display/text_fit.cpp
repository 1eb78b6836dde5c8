// SPDX-License-Identifier: MIT
#include "display/text_fit.h"

#include <string_view>
#include <vector>

namespace velmora::display {
namespace {

constexpr int kSteps = 8;  // 95 %, 90 %, ... 60 % of the field's size
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

// The code point at text[at] and its length in bytes; a byte that starts no valid sequence counts
// as a character of its own.
char32_t decode(std::string_view text, std::size_t at, std::size_t& length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || at + length > text.size()) {
        length = 1;
        return lead;
    }
    char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            length = 1;
            return lead;
        }
        cp = (cp << 6) | (byte(at + i) & 0x3F);
    }
    return cp;
}

// Code points that belong to the character before them: combining marks, variation selectors,
// the zero-width joiner and skin-tone modifiers.
bool extends(char32_t cp) {
    return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x1AB0 && cp <= 0x1AFF) ||
           (cp >= 0x1DC0 && cp <= 0x1DFF) || (cp >= 0x20D0 && cp <= 0x20FF) ||
           (cp >= 0xFE20 && cp <= 0xFE2F) || (cp >= 0xFE00 && cp <= 0xFE0F) ||
           (cp >= 0xE0100 && cp <= 0xE01EF) || (cp >= 0x1F3FB && cp <= 0x1F3FF) ||
           (cp >= 0x3099 && cp <= 0x309A) || cp == 0x200D;
}

// The byte offsets where the text may be cut without splitting a character, 0 first.
std::vector<std::size_t> cutPoints(std::string_view text) {
    std::vector<std::size_t> points{0};
    char32_t previous = 0;
    for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
        const char32_t cp = decode(text, at, length);
        if (at > 0 && !extends(cp) && previous != 0x200D) points.push_back(at);
        previous = cp;
    }
    return points;
}

// The beginning of text up to offset, without the spaces before the cut, and "…".
std::string cutAt(std::string_view text, std::size_t offset) {
    std::string_view kept = text.substr(0, offset);
    while (!kept.empty() && kept.back() == ' ') kept.remove_suffix(1);
    return std::string(kept) + std::string(kEllipsis);
}

}  // namespace

std::optional<FittedText> fitText(const Control& field, platform::Ui& ui) {
    Font font = field.font;
    const auto fits = [&](const std::string& text) {
        return ui.textWidth(font, text) <= field.width;
    };
    if (field.text.empty() || fits(field.text)) return std::nullopt;
    for (int step = 1; step <= kSteps; ++step) {
        font.size = field.font.size * static_cast<float>(100 - 5 * step) / 100.0f;
        if (fits(field.text)) return FittedText{font.size, field.text};
    }
    // Still too wide at the smallest size: the longest beginning that fits with its "…".
    const std::vector<std::size_t> points = cutPoints(field.text);
    std::size_t low = 0;  // points[low] fits, or nothing does and "…" alone stands
    std::size_t high = points.size();
    while (high - low > 1) {
        const std::size_t middle = low + (high - low) / 2;
        if (fits(cutAt(field.text, points[middle])))
            low = middle;
        else
            high = middle;
    }
    return FittedText{font.size, cutAt(field.text, points[low])};
}

}  // namespace velmora::display
