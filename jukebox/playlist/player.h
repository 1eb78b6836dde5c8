// SPDX-License-Identifier: MIT
// The jukebox's clock: which entry plays and how far into it, moved on by play time. It never
// reads a clock itself, so tests can drive it to any moment.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/now_playing.h"
#include "common/track.h"

namespace velmora::jukebox {

class Player;

class PlayerListener {
  public:
    virtual ~PlayerListener() = default;
    // A new entry began; the player already stands on it.
    virtual void trackStarted(const Player& player) = 0;
    // The elapsed whole seconds changed (also right after every trackStarted).
    virtual void secondPassed(const Player& player) = 0;
};

class Player final : public NowPlaying {
  public:
    // Throws std::invalid_argument when `tracks` is empty.
    explicit Player(Playlist tracks);

    const Playlist& playlist() const { return tracks_; }
    std::size_t position() const { return index_ + 1; }  // 1-based
    const Track& current() const { return tracks_[index_]; }
    int elapsed() const { return elapsed_; }
    // The entry at a 1-based position, or nullptr outside the playlist.
    const Track* entry(std::int64_t position) const;

    const Track* playingTrack() const override { return &current(); }
    std::size_t playingPosition() const override { return position(); }
    std::optional<int> playingSeconds() const override { return elapsed(); }
    // The playlist loops: the entry after the last one is the first one.
    Entry entryAt(std::int64_t position) const override;

    // Moves play time, counted in milliseconds from the start, forward to `playMs` and tells
    // the listener what happened on the way. The playlist loops. After a jump of more than two
    // rounds, only the last one or two are told. Time never runs backwards: an earlier
    // `playMs` changes nothing.
    void advanceTo(std::int64_t playMs, PlayerListener& listener);
    // Play time at which the next whole second (or the next entry) begins.
    std::int64_t nextSecondAt() const { return trackStartMs_ + (elapsed_ + 1) * 1000LL; }

  private:
    std::int64_t lengthMs(std::size_t index) const { return tracks_[index].seconds * 1000LL; }

    Playlist tracks_;
    std::int64_t roundMs_ = 0;
    std::size_t index_ = 0;
    std::int64_t trackStartMs_ = 0;
    int elapsed_ = 0;
};

}  // namespace velmora::jukebox
