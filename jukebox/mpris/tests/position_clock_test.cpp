// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "mpris/position_clock.h"

namespace velmora::jukebox::mpris {
namespace {

using namespace std::chrono_literals;
using Micros = std::chrono::microseconds;

// One step of a player's life, at a time after the start; `expect` is the clock's reading then.
struct Step {
    std::chrono::milliseconds at;
    enum { Track, Play, Pause, Stop, Reading, Seek, Look } what;
    Micros value{0};
    int expect = -1;  // whole seconds after the step; -1: not checked
};

void run(const char* what, std::initializer_list<Step> steps) {
    const PositionClock::TimePoint start{std::chrono::hours(1)};
    PositionClock clock;
    for (const Step& step : steps) {
        const auto now = start + step.at;
        switch (step.what) {
            case Step::Track:
                clock.newTrack(now);
                break;
            case Step::Play:
                clock.setStatus(PlaybackStatus::Playing, now);
                break;
            case Step::Pause:
                clock.setStatus(PlaybackStatus::Paused, now);
                break;
            case Step::Stop:
                clock.setStatus(PlaybackStatus::Stopped, now);
                break;
            case Step::Reading:
                clock.reading(step.value, now);
                break;
            case Step::Seek:
                clock.seeked(step.value, now);
                break;
            case Step::Look:
                break;
        }
        if (step.expect < 0) continue;
        EXPECT_EQ(clock.seconds(now), step.expect) << what << " at " << step.at.count() << " ms";
    }
}

TEST(MprisPosition, CountsWhilePlayingHoldsWhilePaused) {
    run("play, pause, play", {{0ms, Step::Track},
                              {0ms, Step::Play, {}, 0},
                              {2500ms, Step::Look, {}, 2},
                              {3200ms, Step::Pause, {}, 3},
                              {60000ms, Step::Look, {}, 3},
                              {61000ms, Step::Play, {}, 3},
                              {62000ms, Step::Look, {}, 4}});
    run("a reading moves the clock", {{0ms, Step::Play},
                                      {100ms, Step::Reading, Micros(42'000'000), 42},
                                      {1200ms, Step::Look, {}, 43}});
    run("a seek back to 0 is the truth",
        {{0ms, Step::Play}, {5000ms, Step::Seek, Micros(0), 0}, {6100ms, Step::Look, {}, 1}});
    run("stop resets", {{0ms, Step::Play}, {5000ms, Step::Stop, {}, 0}});
    run("a new track starts at 0",
        {{0ms, Step::Play}, {9000ms, Step::Track, {}, 0}, {10500ms, Step::Look, {}, 1}});
    run("a position past all reason is bounded, not overflowed",
        {{0ms, Step::Play},
         {0ms, Step::Reading, Micros::max(), 365 * 24 * 3600},
         {1000ms, Step::Look, {}, 365 * 24 * 3600 + 1}});
}

TEST(MprisPosition, APlayerWhosePositionStaysZeroIsCountedFromTheStart) {
    run("0 at the start is the truth", {{0ms, Step::Track},
                                        {0ms, Step::Play},
                                        {300ms, Step::Reading, Micros(0), 0},
                                        {1400ms, Step::Look, {}, 1}});
    run("0 after a while of play is not",
        {{0ms, Step::Track},
         {0ms, Step::Play},
         {20000ms, Step::Pause, {}, 20},
         {25000ms, Step::Play},
         {25050ms, Step::Reading, Micros(0), 20},
         {27000ms, Step::Look, {}, 22},
         // Such a player stays known for it: the next track's 0 readings are ignored too.
         {30000ms, Step::Track, {}, 0},
         {35000ms, Step::Reading, Micros(0), 5},
         // Once it tells a real position again, that holds.
         {36000ms, Step::Reading, Micros(90'000'000), 90}});
}

}  // namespace
}  // namespace velmora::jukebox::mpris
