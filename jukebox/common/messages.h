// SPDX-License-Identifier: MIT
// The texts the jukebox sends to a board, in the layouts the board cuts apart: fields separated
// by the three characters "," and nothing doubled or escaped. docs/jukebox-messages.md shows each.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/track.h"

namespace velmora::jukebox {

// Bounds that keep the longest message well under the link's 8192-byte line.
inline constexpr std::size_t kMaxTextFieldBytes = 1024;
inline constexpr std::size_t kMaxPathFieldBytes = 4096;

// m:ss, minutes unbounded: 0:00, 5:08, 75:02.
std::string formatTime(int seconds);

// A name made safe for the board's splitter: straight double quotes become typographic ones
// (opening after a space or bracket, closing elsewhere), control characters become spaces,
// and the result is cut to kMaxTextFieldBytes at a character boundary.
std::string textField(std::string_view text);

// A picture path is sent as it is or not at all: a changed path would name another file. Empty
// when the board could not cut it back intact, when it is not UTF-8 or holds control characters,
// or when it is longer than kMaxPathFieldBytes; the board then shows its default picture.
std::string pathField(std::string_view path);

// time[2:13]; time[] when nothing plays, which blanks a board's elapsed time.
std::string timeMessage(std::optional<int> elapsedSeconds);
// playing["album","artist","title","total","picture","position","1"]; with no track (nothing
// plays) every name is empty and the mark is "0".
std::string playingMessage(const Track* track, std::size_t position);
// playlist_pointer[4]
std::string pointerMessage(std::size_t position);
// playlist_item["requested","album","artist","title","total","picture","position","1"], or with
// no track: playlist_item["requested",""," ","","","","","0"], which blanks a board's "Next Up:"
// (it keeps an empty artist, so the artist is a space). `requested` is the number as asked.
std::string itemMessage(std::string_view requested, const Track* track, std::size_t position);

}  // namespace velmora::jukebox
