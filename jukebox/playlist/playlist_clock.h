// SPDX-License-Identifier: MIT
// Plays a playlist in real time (times a speed-up) on an io_context: moves the player on at each
// whole second or change of entry and tells a listener.
#pragma once

#include <chrono>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include "common/now_playing.h"
#include "playlist/player.h"

namespace velmora::jukebox {

class PlaylistClock final : private PlayerListener {
  public:
    // Throws std::invalid_argument when `tracks` is empty.
    PlaylistClock(asio::io_context& io, Playlist tracks, double speed);

    const Player& player() const { return player_; }
    // Starts from the first entry; the listener must outlive the clock or stop().
    void start(NowPlayingListener& listener);
    void stop();

  private:
    void tick();
    void trackStarted(const Player& player) override;
    void secondPassed(const Player& player) override;

    Player player_;
    double speed_;
    asio::steady_timer timer_;
    std::chrono::steady_clock::time_point start_;
    NowPlayingListener* listener_ = nullptr;
};

}  // namespace velmora::jukebox
