// SPDX-License-Identifier: MIT
// The demo jukebox: eight discs of our own invention, each with a generated cover.
#pragma once

#include <filesystem>

#include "common/bmp.h"
#include "common/track.h"

namespace velmora::jukebox {

// The demo playlist; writes its covers (cover-1.bmp ...) into `folder`, creating it.
// Throws std::runtime_error when the covers cannot be written.
Playlist demoPlaylist(const std::filesystem::path& folder);

// A 256 x 256 cover: a gradient in the disc's colour, a compact disc, and the entry's number.
Image drawCover(int number, Rgb colour);

}  // namespace velmora::jukebox
