// SPDX-License-Identifier: MIT
#include "playlist/playlist_clock.h"

#include <algorithm>

namespace velmora::jukebox {

namespace {

using Clock = std::chrono::steady_clock;

// The clock never wakes more often than this, however fast time runs.
constexpr auto kMinTick = std::chrono::milliseconds(1);

}  // namespace

PlaylistClock::PlaylistClock(asio::io_context& io, Playlist tracks, double speed)
    : player_(std::move(tracks)), speed_(speed), timer_(io) {}

void PlaylistClock::start(NowPlayingListener& listener) {
    listener_ = &listener;
    start_ = Clock::now();
    tick();
}

void PlaylistClock::stop() {
    listener_ = nullptr;
    timer_.cancel();
}

void PlaylistClock::tick() {
    const std::chrono::duration<double, std::milli> real = Clock::now() - start_;
    player_.advanceTo(static_cast<std::int64_t>(real.count() * speed_), *this);

    const std::chrono::duration<double, std::milli> due(
        static_cast<double>(player_.nextSecondAt()) / speed_);
    timer_.expires_at(
        std::max(start_ + std::chrono::ceil<Clock::duration>(due), Clock::now() + kMinTick));
    // A wake-up already on its way when stop() cancels the wait still arrives without error.
    timer_.async_wait([this](const std::error_code& error) {
        if (!error && listener_) tick();
    });
}

void PlaylistClock::trackStarted(const Player&) {
    if (listener_) listener_->trackStarted();
}

void PlaylistClock::secondPassed(const Player&) {
    if (listener_) listener_->secondPassed();
}

}  // namespace velmora::jukebox
