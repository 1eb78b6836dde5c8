// SPDX-License-Identifier: MIT
// What a board can ask the jukebox about, whoever drives it: the built-in clock over a playlist,
// or a music server the service follows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/track.h"

namespace velmora::jukebox {

// An answer to playlist_getitem: the entry and the position it stands at; no track past the end.
struct Entry {
    const Track* track = nullptr;
    std::size_t position = 0;
};

class NowPlaying {
  public:
    virtual ~NowPlaying() = default;
    // The entry playing (or paused); nullptr when nothing plays.
    virtual const Track* playingTrack() const = 0;
    // The 1-based position that playlist_pointer reports; always at least 1.
    virtual std::size_t playingPosition() const = 0;
    // Whole seconds into the playing entry; nothing when nothing plays.
    virtual std::optional<int> playingSeconds() const = 0;
    // The entry at a 1-based position, as playlist_getitem answers it.
    virtual Entry entryAt(std::int64_t position) const = 0;
};

// Told when a board's view goes stale.
class NowPlayingListener {
  public:
    virtual ~NowPlayingListener() = default;
    // The playing entry, or what comes after it, changed: boards get a new "playing".
    virtual void trackStarted() = 0;
    // The elapsed time moved (or jumped): boards get a new "time".
    virtual void secondPassed() = 0;
};

}  // namespace velmora::jukebox
