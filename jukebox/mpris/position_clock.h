// SPDX-License-Identifier: MIT
// A player's elapsed time between the moments it tells it: players read out their Position when
// asked and after a seek, but never signal it as it runs. The clock counts on from the last reading
// while the player plays and holds still while it pauses. A player that answers 0 while it has
// been playing for a while (some never keep Position) is counted from the start of the track.
// Every call takes the time it happens at, so the clock is a plain value to test.
#pragma once

#include <chrono>

namespace velmora::jukebox::mpris {

enum class PlaybackStatus { Stopped, Paused, Playing };

class PositionClock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Micros = std::chrono::microseconds;

    // A new track starts at 0.
    void newTrack(TimePoint now);
    void setStatus(PlaybackStatus status, TimePoint now);
    // The player's Position, read after a change of track or status.
    void reading(Micros position, TimePoint now);
    // A Seeked signal: the player says where it is now, 0 included.
    void seeked(Micros position, TimePoint now);

    Micros at(TimePoint now) const;
    int seconds(TimePoint now) const;

  private:
    void rebase(Micros position, TimePoint now);

    PlaybackStatus status_ = PlaybackStatus::Stopped;
    Micros base_{0};
    TimePoint baseAt_{};
    bool frozenZero_ = false;  // the player has shown that its Position stays 0
};

}  // namespace velmora::jukebox::mpris
