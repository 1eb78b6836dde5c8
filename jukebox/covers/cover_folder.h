// SPDX-License-Identifier: MIT
// The folder of covers the followers hand to boards: one file per picture, named after its content
// (so a changed cover is a new file), whose total size stays under a bound (the oldest written go
// first). Boards on other machines may open the folder by another path: the name is then sent after
// a prefix of the user's choice. Holds no state of its own: the cover worker writes while the
// service's thread asks what is still there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::jukebox {

inline constexpr std::size_t kMaxCoverBytes = 16 * 1024 * 1024;

// The service's own folder in the user's cache, whatever it follows: the demo's covers, and the
// followers' covers in "covers" below it. $CACHE_DIRECTORY (set by systemd for a system unit),
// else $XDG_CACHE_HOME/velmora-jukebox, else ~/.cache/velmora-jukebox, else one in the temporary
// folder (%LOCALAPPDATA% on Windows).
std::filesystem::path serviceCacheFolder();

class CoverFolder {
  public:
    CoverFolder(std::filesystem::path folder, std::string pathPrefix, std::uintmax_t maxBytes);

    // Writes the picture once and returns the path a board is sent; nothing for bytes that are
    // not a picture a board shows (JPEG, PNG, GIF, BMP), are too large, or cannot be written.
    std::optional<std::string> store(std::string_view bytes) const;

    // Whether the cover a board was sent as `sent` (a path store returned) is still in the folder:
    // the bound may have removed it since.
    bool holds(std::string_view sent) const;

    // The file name a picture gets: 16 hex digits of a hash of its bytes and its type's extension.
    static std::optional<std::string> nameFor(std::string_view bytes);

  private:
    void trim(const std::filesystem::path& keep) const;

    std::filesystem::path folder_;
    std::string prefix_;
    std::uintmax_t maxBytes_;
};

}  // namespace velmora::jukebox
