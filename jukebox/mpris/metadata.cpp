// SPDX-License-Identifier: MIT
#include "mpris/metadata.h"

#include <algorithm>
#include <cmath>

#include "common/encoding.h"
#include "common/messages.h"
#include "velmora/link_protocol.h"

namespace velmora::jukebox::mpris {

namespace {

constexpr double kMaxLengthSeconds = 1e7;  // past this a length is a player's fault, not a track

int hexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// A name as the boards get it: valid UTF-8, cut to the field's bound before anything else reads
// it, so that a megabyte title costs nothing further down.
std::string name(std::string_view text) {
    return std::string(
        truncateUtf8(repairUtf8(text.substr(0, kMaxTextFieldBytes * 4)), kMaxTextFieldBytes));
}

std::string joined(const Value& value) {
    std::string text;
    for (const std::string& part : textsOf(value)) {
        if (part.empty()) continue;
        if (!text.empty()) text += ", ";
        text += part;
        if (text.size() > kMaxTextFieldBytes * 4) break;
    }
    return name(text);
}

const Value* find(const Dict& metadata, std::string_view key) {
    const auto it = metadata.find(std::string(key));
    return it == metadata.end() ? nullptr : &it->second;
}

std::string joinedAt(const Dict& metadata, std::string_view key) {
    const Value* value = find(metadata, key);
    return value ? joined(*value) : std::string();
}

std::string withoutExtension(const std::string& file) {
    const auto dot = file.rfind('.');
    return dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
}

}  // namespace

std::string repairUtf8(std::string_view text) {
    if (link::isValidUtf8(text)) return std::string(text);
    std::string repaired;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (i + length <= text.size() && link::isValidUtf8(text.substr(i, length))) {
            repaired += text.substr(i, length);
            i += length;
        } else {
            repaired += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return repaired;
}

std::string percentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

std::string fileNameOfUrl(std::string_view url) {
    if (!url.starts_with("file:")) url = url.substr(0, url.find_first_of("?#"));
    while (url.ends_with('/')) url.remove_suffix(1);
    const auto slash = url.rfind('/');
    return percentDecode(slash == std::string_view::npos ? url : url.substr(slash + 1));
}

std::string PlayerTrack::key() const {
    if (!trackId.empty() || !url.empty()) return trackId + '\n' + url;
    return track.artist + '\n' + track.title + '\n' + track.album;
}

PlayerTrack trackFromMetadata(const Dict& metadata) {
    PlayerTrack result;
    Track& track = result.track;
    track.artist = joinedAt(metadata, "xesam:artist");
    if (track.artist.empty()) track.artist = joinedAt(metadata, "xesam:albumArtist");
    track.album = joinedAt(metadata, "xesam:album");
    track.title = joinedAt(metadata, "xesam:title");

    const Value* urlValue = find(metadata, "xesam:url");
    const std::string url = urlValue ? textOf(*urlValue).value_or("") : "";
    const std::string file = name(fileNameOfUrl(url));
    if (track.title.empty() ||
        (!file.empty() && (track.title == file || track.title == withoutExtension(file)))) {
        result.titleFromFile = !file.empty() || track.title.empty();
        if (track.title.empty()) track.title = file;
    }

    track.lengthKnown = false;
    track.seconds = 1;
    if (const Value* length = find(metadata, "mpris:length"))
        if (const auto micros = integerOf(*length); micros && *micros > 0) {
            const double seconds = double(*micros) / 1e6;
            if (seconds < kMaxLengthSeconds) {
                track.lengthKnown = true;
                track.seconds = std::max(1, static_cast<int>(std::lround(seconds)));
            }
        }

    if (const Value* id = find(metadata, "mpris:trackid"))
        result.trackId = textOf(*id).value_or("").substr(0, kMaxTextFieldBytes);
    result.url = url.substr(0, kMaxPathFieldBytes);
    if (const Value* art = find(metadata, "mpris:artUrl"))
        result.artUrl = textOf(*art).value_or("");
    return result;
}

}  // namespace velmora::jukebox::mpris
