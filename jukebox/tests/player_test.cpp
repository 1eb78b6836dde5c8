// SPDX-License-Identifier: MIT
#include "playlist/player.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora::jukebox {
namespace {

// Writes "start N" and "second S" in the order the player tells them.
struct Recorder final : PlayerListener {
    void trackStarted(const Player& player) override {
        events.push_back("start " + std::to_string(player.position()));
    }
    void secondPassed(const Player& player) override {
        events.push_back("second " + std::to_string(player.elapsed()));
    }
    std::vector<std::string> take() { return std::exchange(events, {}); }
    std::vector<std::string> events;
};

Track track(const char* title, int seconds) {
    return Track{"Album", "Artist", title, seconds, true, ""};
}

Playlist threeTracks() {
    return {track("one", 3), track("two", 2), track("three", 4)};
}

using Events = std::vector<std::string>;

TEST(Player, TellsEachSecondAndEachNewTrackInOrder) {
    Player player(threeTracks());
    Recorder recorder;
    const std::pair<std::int64_t, Events> steps[] = {
        {999, {}},
        {1000, {"second 1"}},
        {1500, {}},
        {2999, {"second 2"}},
        {3000, {"start 2", "second 0"}},
        {5000, {"start 3", "second 0"}},
        {8999, {"second 3"}},
        {9000, {"start 1", "second 0"}},  // loops
        {8000, {}},                       // time never runs backwards
        {9000 + 3000 + 2000 + 1500, {"start 2", "start 3", "second 1"}},
    };
    for (const auto& [ms, events] : steps) {
        player.advanceTo(ms, recorder);
        EXPECT_EQ(recorder.take(), events) << "at " << ms;
    }
    EXPECT_EQ(player.position(), 3u);
    EXPECT_EQ(player.nextSecondAt(), 9000 + 3000 + 2000 + 2000);
}

TEST(Player, AHugeJumpTellsAtMostTwoRoundsAndLandsRight) {
    Player player(threeTracks());  // a round is 9 s
    Recorder recorder;
    const std::int64_t ms = 9000 * 111'111'111'111 + 7000;  // 7 s into a round: track 3, 2 s in
    player.advanceTo(ms, recorder);
    EXPECT_LE(recorder.events.size(), 2 * 3 + 1u);
    EXPECT_EQ(player.position(), 3u);
    EXPECT_EQ(player.elapsed(), 2);
    EXPECT_EQ(recorder.events.back(), "second 2");
}

TEST(Player, EntriesOutsideThePlaylistAreNone) {
    const Player player(threeTracks());
    EXPECT_EQ(player.entry(1)->title, "one");
    EXPECT_EQ(player.entry(3)->title, "three");
    for (const std::int64_t position :
         {std::int64_t{0}, std::int64_t{-1}, std::int64_t{4}, INT64_MAX, INT64_MIN})
        EXPECT_EQ(player.entry(position), nullptr) << position;
}

TEST(Player, TracksPlayAtLeastOneSecond) {
    Player player({track("zero", 0), track("one", 1)});
    Recorder recorder;
    player.advanceTo(1000, recorder);
    EXPECT_EQ(recorder.take(), (Events{"start 2", "second 0"}));
}

}  // namespace
}  // namespace velmora::jukebox
