// SPDX-License-Identifier: MIT
// One entry of the jukebox's playlist, as the board is told about it.
#pragma once

#include <string>
#include <vector>

namespace velmora::jukebox {

struct Track {
    std::string album;
    std::string artist;
    std::string title;
    int seconds = 0;          // how long it plays; always at least 1
    bool lengthKnown = true;  // false: plays for a default length and shows no total time
    std::string picture;      // UTF-8 path of the cover, or empty
};

using Playlist = std::vector<Track>;

}  // namespace velmora::jukebox
