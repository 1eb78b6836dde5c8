// SPDX-License-Identifier: MIT
// The words the board and the jukebox service say to each other inside the link's lines, as both
// ends spell them (docs/jukebox-messages.md). A message or command is a name, then its argument in
// brackets: a bare one ("time[2:13]", "playlist_getitem[5]") or quoted fields
// ("playing["…","…"]") separated by `","`.
#pragma once

#include <algorithm>
#include <array>
#include <string_view>

namespace velmora::link::messages {

// Texts joined at compile time: join<kTime, kOpen> is "time[".
template <const std::string_view&... Parts>
struct Joined {
    static constexpr auto kChars = [] {
        std::array<char, (Parts.size() + ...)> chars{};
        auto out = chars.begin();
        ((out = std::copy(Parts.begin(), Parts.end(), out)), ...);
        return chars;
    }();
    static constexpr std::string_view kText{kChars.data(), kChars.size()};
};
template <const std::string_view&... Parts>
inline constexpr std::string_view join = Joined<Parts...>::kText;

inline constexpr std::string_view kOpen = "[";
inline constexpr std::string_view kClose = "]";
inline constexpr std::string_view kQuote = "\"";
inline constexpr std::string_view kSeparator = "\",\"";  // between two quoted fields
inline constexpr std::string_view kOpenFields = join<kOpen, kQuote>;
inline constexpr std::string_view kCloseFields = join<kQuote, kClose>;

// From the jukebox.
inline constexpr std::string_view kTime = "time";
inline constexpr std::string_view kPlaying = "playing";
inline constexpr std::string_view kPlaylistPointer = "playlist_pointer";
inline constexpr std::string_view kPlaylistItem = "playlist_item";
// Where each one's argument or first field begins.
inline constexpr std::string_view kTimeHead = join<kTime, kOpen>;
inline constexpr std::string_view kPlayingHead = join<kPlaying, kOpenFields>;
inline constexpr std::string_view kPlaylistPointerHead = join<kPlaylistPointer, kOpen>;
inline constexpr std::string_view kPlaylistItemHead = join<kPlaylistItem, kOpenFields>;

// From the board. Every notification request's name starts with kNotifyFamily.
inline constexpr std::string_view kNotifyFamily = "notify_";
inline constexpr std::string_view kNotifyPlayingItem = "notify_playing_item";
inline constexpr std::string_view kNotifyPlayingTimecode = "notify_playing_timecode";
static_assert(kNotifyPlayingItem.starts_with(kNotifyFamily));
static_assert(kNotifyPlayingTimecode.starts_with(kNotifyFamily));
inline constexpr std::string_view kOn = "on";
inline constexpr std::string_view kOff = "off";
inline constexpr std::string_view kNotifyPlayingItemOn =
    join<kNotifyPlayingItem, kOpen, kOn, kClose>;
inline constexpr std::string_view kNotifyPlayingItemOff =
    join<kNotifyPlayingItem, kOpen, kOff, kClose>;
inline constexpr std::string_view kNotifyPlayingTimecodeOn =
    join<kNotifyPlayingTimecode, kOpen, kOn, kClose>;
inline constexpr std::string_view kNotifyPlayingTimecodeOff =
    join<kNotifyPlayingTimecode, kOpen, kOff, kClose>;
inline constexpr std::string_view kPlaylistGetPointer = "playlist_getpointer";
inline constexpr std::string_view kPlaylistGetItem = "playlist_getitem";
inline constexpr std::string_view kPlaylistGetItemHead = join<kPlaylistGetItem, kOpen>;
// The jukebox answers an echo request with the request itself.
inline constexpr std::string_view kEcho = "echo";
inline constexpr std::string_view kEchoHead = join<kEcho, kOpen>;

}  // namespace velmora::link::messages
