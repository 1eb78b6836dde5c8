// SPDX-License-Identifier: MIT
#include "serve/second_tick.h"

#include <algorithm>

namespace velmora::jukebox {

namespace {

// A little after the second turns, so that the source's clock reads the new second by then.
constexpr std::chrono::milliseconds kPastTheSecond{2};

}  // namespace

int secondsShown(int elapsed, const Track& track) {
    return track.lengthKnown ? std::min(elapsed, std::max(0, track.seconds - 1)) : elapsed;
}

SecondTick::SecondTick(asio::io_context& io, Elapsed elapsed, std::function<void()> tick)
    : timer_(io), elapsed_(std::move(elapsed)), tick_(std::move(tick)) {}

void SecondTick::restart() {
    stop();
    const std::optional<std::chrono::nanoseconds> elapsed = elapsed_();
    if (!elapsed) return;
    const std::chrono::nanoseconds intoSecond = *elapsed % std::chrono::seconds(1);
    timer_.expires_after(std::chrono::seconds(1) - intoSecond + kPastTheSecond);
    timer_.async_wait([this](const std::error_code& error) {
        // A wake-up already on its way when the tick moved or stopped sees the new expiry.
        if (error || timer_.expiry() > std::chrono::steady_clock::now()) return;
        tick_();
        restart();
    });
}

void SecondTick::stop() {
    timer_.expires_at(asio::steady_timer::time_point::max());
}

}  // namespace velmora::jukebox
