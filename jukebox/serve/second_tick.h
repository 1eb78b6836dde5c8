// SPDX-License-Identifier: MIT
// The boards' one-second clock for a source that follows a player: a wake-up just after each whole
// second of play, and the seconds the boards are shown.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include "common/track.h"

namespace velmora::jukebox {

// Whole seconds into `track` as the boards are told them. The source's own clock may run past the
// end before the player says the next track began: a track of known length holds at its last
// second.
int secondsShown(int elapsed, const Track& track);

class SecondTick {
  public:
    // How far into the playing entry play is now; nothing while it stands still.
    using Elapsed = std::function<std::optional<std::chrono::nanoseconds>()>;

    // Calls `tick` just after each whole second of play.
    SecondTick(asio::io_context& io, Elapsed elapsed, std::function<void()> tick);

    // Counts from what `elapsed` says now; after every change of what plays, or of whether it does.
    void restart();
    void stop();

  private:
    asio::steady_timer timer_;
    Elapsed elapsed_;
    std::function<void()> tick_;
};

}  // namespace velmora::jukebox
