// SPDX-License-Identifier: MIT
// The covers the MPD bridge hands to boards: one file per picture, named after its content (so a
// changed cover is a new file), in a folder whose total size stays under a bound (the oldest
// written go first). Boards on other machines may open the folder by another path: the name is then
// sent after a prefix of the user's choice.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::jukebox {

inline constexpr std::size_t kMaxCoverBytes = 16 * 1024 * 1024;

class CoverCache {
  public:
    CoverCache(std::filesystem::path folder, std::string pathPrefix, std::uintmax_t maxBytes);

    // Writes the picture once and returns the path a board is sent; nothing for bytes that are
    // not a picture a board shows (JPEG, PNG, GIF, BMP), are too large, or cannot be written.
    std::optional<std::string> store(std::string_view bytes);

    // Whether the cover a board was sent as `sent` (a path store returned) is still in the folder:
    // the bound may have removed it since.
    bool holds(std::string_view sent) const;

    // The file name a picture gets: 16 hex digits of a hash of its bytes and its type's extension.
    static std::optional<std::string> nameFor(std::string_view bytes);

    const std::filesystem::path& folder() const { return folder_; }

  private:
    void trim(const std::filesystem::path& keep);

    std::filesystem::path folder_;
    std::string prefix_;
    std::uintmax_t maxBytes_;
};

}  // namespace velmora::jukebox
