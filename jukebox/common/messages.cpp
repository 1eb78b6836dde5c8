// SPDX-License-Identifier: MIT
#include "common/messages.h"

#include <algorithm>

#include "common/encoding.h"
#include "velmora/link_protocol.h"
#include "velmora/messages.h"

namespace velmora::jukebox {

using namespace link::messages;

namespace {

constexpr std::string_view kOpeningQuote = "\u201C";
constexpr std::string_view kClosingQuote = "\u201D";

bool opensQuote(char previous) {
    return previous == ' ' || previous == '(' || previous == '[' || previous == '{';
}

bool hasControlCharacter(std::string_view text) {
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F) return true;
    }
    return false;
}

// The fields of one entry, from the album to the "1" that marks an entry.
void appendEntry(std::string& out, const Track& track, std::size_t position) {
    out.append(textField(track.album)).append(kSeparator);
    out.append(textField(track.artist)).append(kSeparator);
    out.append(textField(track.title)).append(kSeparator);
    if (track.lengthKnown) out.append(formatTime(track.seconds));
    out.append(kSeparator);
    out.append(pathField(track.picture)).append(kSeparator);
    out.append(std::to_string(position)).append(kSeparator);
    out.append("1").append(kCloseFields);
}

}  // namespace

std::string formatTime(int seconds) {
    if (seconds < 0) seconds = 0;
    const int rest = seconds % 60;
    std::string text = std::to_string(seconds / 60);
    text += ':';
    text += static_cast<char>('0' + rest / 10);
    text += static_cast<char>('0' + rest % 10);
    return text;
}

std::string textField(std::string_view text) {
    std::string converted;
    if (!link::isValidUtf8(text)) {
        converted = fromWindows1252(text);
        text = converted;
    }
    // Output is never shorter than input, so no more than the bound is worth converting; the cut
    // that counts comes after, since each quote grows to three bytes.
    text = truncateUtf8(text, kMaxTextFieldBytes);
    std::string out;
    out.reserve(std::min(text.size(), kMaxTextFieldBytes) + 8);
    char previous = ' ';
    for (const char ch : text) {
        if (out.size() > kMaxTextFieldBytes) break;  // enough to cut from
        const auto byte = static_cast<unsigned char>(ch);
        if (ch == '"') {
            out.append(opensQuote(previous) ? kOpeningQuote : kClosingQuote);
        } else if (byte < 0x20 || byte == 0x7F) {
            out += ' ';
        } else {
            out += ch;
        }
        previous = ch;
    }
    out.resize(truncateUtf8(out, kMaxTextFieldBytes).size());
    return out;
}

std::string pathField(std::string_view path) {
    // A path that ends in the separator's first two characters would end its field early.
    const bool intact = path.find(kSeparator) == std::string_view::npos &&
                        !path.ends_with(kSeparator.substr(0, kSeparator.size() - 1));
    if (!intact || path.size() > kMaxPathFieldBytes || hasControlCharacter(path) ||
        !link::isValidUtf8(path))
        return {};
    return std::string(path);
}

std::string timeMessage(std::optional<int> elapsedSeconds) {
    std::string out(kTimeHead);
    if (elapsedSeconds) out.append(formatTime(*elapsedSeconds));
    return out.append(kClose);
}

std::string playingMessage(const Track* track, std::size_t position) {
    std::string out(kPlayingHead);
    if (track) {
        appendEntry(out, *track, position);
    } else {
        for (int field = 1; field <= 5; ++field) out.append(kSeparator);
        out.append(std::to_string(position)).append(kSeparator).append("0").append(kCloseFields);
    }
    return out;
}

std::string pointerMessage(std::size_t position) {
    return std::string(kPlaylistPointerHead).append(std::to_string(position)).append(kClose);
}

std::string itemMessage(std::string_view requested, const Track* track, std::size_t position) {
    std::string out(kPlaylistItemHead);
    out.append(requested).append(kSeparator);
    if (track) {
        appendEntry(out, *track, position);
    } else {
        // The board keeps an empty next artist, so a space stands in for it.
        out.append(kSeparator).append(" ");
        for (int field = 2; field <= 6; ++field) out.append(kSeparator);
        out.append("0").append(kCloseFields);
    }
    return out;
}

}  // namespace velmora::jukebox
