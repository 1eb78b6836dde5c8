// SPDX-License-Identifier: MIT
// Reads an M3U playlist into the jukebox's entries: #EXTINF gives the length and
// "Artist - Title", #EXTALB the album of the entries that follow, and a folder.jpg or cover.jpg
// beside an entry's file is its cover.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/track.h"

namespace velmora::jukebox {

// What an entry without a usable #EXTINF length plays for.
inline constexpr int kDefaultTrackSeconds = 180;
inline constexpr std::uintmax_t kMaxPlaylistBytes = 16 * 1024 * 1024;

class PlaylistError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct PlaylistFile {
    Playlist tracks;
    std::vector<std::string> warnings;  // problems that did not stop the reading
};

// Parses playlist text. Relative entries are resolved against `folder`, where covers are also
// looked for. Throws PlaylistError, naming the line, for a malformed #EXTINF.
PlaylistFile parseM3u(std::string_view text, const std::filesystem::path& folder);

// Reads and parses a playlist file. Throws PlaylistError for a missing, unreadable, oversized,
// binary, malformed or empty file.
PlaylistFile loadM3u(const std::filesystem::path& file);

}  // namespace velmora::jukebox
