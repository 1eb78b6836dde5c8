// SPDX-License-Identifier: MIT
#include "serve/second_tick.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmora::jukebox {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(SecondTick, ATrackOfKnownLengthHoldsAtItsLastSecond) {
    Track known;
    known.seconds = 61;
    Track unknown = known;
    unknown.lengthKnown = false;
    EXPECT_EQ(secondsShown(30, known), 30);
    EXPECT_EQ(secondsShown(61, known), 60);  // "1:01" is never shown as the time of a 1:01 track
    EXPECT_EQ(secondsShown(75, unknown), 75);
}

// Each tick comes after the whole second it is for has begun, so the source then reads it; once
// stopped, nothing is left to wake.
TEST(SecondTick, WakesJustPastEachWholeSecondUntilStopped) {
    asio::io_context io;
    const Clock::time_point start = Clock::now();
    const auto elapsed = [&] { return std::chrono::nanoseconds(900ms + (Clock::now() - start)); };
    bool playing = true;
    std::vector<long long> seen;  // whole seconds of play at each tick
    SecondTick tick(
        io,
        [&]() -> std::optional<std::chrono::nanoseconds> {
            if (!playing) return std::nullopt;
            return elapsed();
        },
        [&] {
            seen.push_back(std::chrono::duration_cast<std::chrono::seconds>(elapsed()).count());
        });
    tick.restart();
    while (seen.size() < 2) ASSERT_GT(io.run_one(), 0u) << "the tick stopped waking";
    EXPECT_EQ(seen, (std::vector<long long>{1, 2}));

    tick.stop();
    io.restart();
    io.run();  // returns at once: the stopped tick holds no wait
    EXPECT_EQ(seen.size(), 2u);

    playing = false;  // paused: restarting waits for nothing
    tick.restart();
    io.restart();
    io.run();
    EXPECT_EQ(seen.size(), 2u);
}

}  // namespace
}  // namespace velmora::jukebox
