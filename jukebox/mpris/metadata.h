// SPDX-License-Identifier: MIT
// A player's Metadata map in the boards' terms, read leniently: whatever types a player sends,
// the result is a track with bounded, valid UTF-8 names.
#pragma once

#include <string>
#include <string_view>

#include "common/track.h"
#include "mpris/value.h"

namespace velmora::jukebox::mpris {

struct PlayerTrack {
    Track track;
    std::string trackId;  // mpris:trackid, the name of the entry in a TrackList
    std::string url;      // xesam:url
    std::string artUrl;   // mpris:artUrl as sent
    // The title is the file's name (no title tag, or a title that is the file name): some
    // players announce that first and the tags a moment later.
    bool titleFromFile = false;

    // Tells one track from the next: its id and URL, or its names when a player gives neither.
    std::string key() const;
};

PlayerTrack trackFromMetadata(const Dict& metadata);

// Valid UTF-8: each byte that starts no valid character becomes U+FFFD.
std::string repairUtf8(std::string_view text);

// The decoded last path segment of a URL ("file:///m/01%20Intro.ogg" -> "01 Intro.ogg").
std::string fileNameOfUrl(std::string_view url);

// The bytes behind "%xx" escapes; a malformed escape stays as it is.
std::string percentDecode(std::string_view text);

}  // namespace velmora::jukebox::mpris
