// SPDX-License-Identifier: MIT
// The next-song look-up: the playlist pointer turned into a request for the entry after it, and
// that entry written into the "Next Up:" block.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/form.h"

namespace velmora::board {

// The position the number points at, rounded down, plus one, as plain decimal digits of any length;
// nullopt when the number is not one or rounds down to 0 or below. The number is an optional sign,
// digits and an optional "." with more digits, spaces around it allowed, e.g. "2.7" gives "3".
std::optional<std::string> entryAfter(std::string_view number);

// "playlist_getitem[n]" for a "playlist_pointer" message; nullopt when nothing is to be asked.
std::optional<std::string> requestFor(std::string_view pointerMessage);

// One entry of the jukebox's playlist as a "playlist_item" message carries it.
struct Entry {
    std::string album;   // field 1
    std::string artist;  // field 2
    std::string title;   // field 3
    std::string marker;  // field 7: "0" when the playlist has no such entry
};

// Cuts every field before anything is written; nullopt when a separator or the closing quotation
// mark is missing.
std::optional<Entry> readEntry(std::string_view itemMessage);

// Writes the entry into NextTitle, NextArtist and NextAlbum. Empty artist or album texts leave the
// previous entry's on the board; an entry past the end blanks the title and always sets the album.
void showNext(Form& board, Entry entry);

}  // namespace velmora::board
