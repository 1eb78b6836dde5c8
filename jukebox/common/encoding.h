// SPDX-License-Identifier: MIT
// Text conversions at the edges of the service: playlist files may be in the Windows code page,
// paths come from the file system, and everything the board receives is UTF-8.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velmora::jukebox {

// Windows-1252 (what older playlist files are written in) to UTF-8.
std::string fromWindows1252(std::string_view bytes);

// The longest prefix of valid UTF-8 text that fits in maxBytes without cutting a character.
std::string_view truncateUtf8(std::string_view text, std::size_t maxBytes);

std::string pathToUtf8(const std::filesystem::path& path);
std::filesystem::path pathFromUtf8(std::string_view text);

}  // namespace velmora::jukebox
