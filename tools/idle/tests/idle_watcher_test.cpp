// SPDX-License-Identifier: MIT
#include "idle_watcher.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::idle {
namespace {

// Events as letters: i = the session idle, a = the user back, e = the board's process ended.
// Actions as letters: S = start a board, T = stop it (SIGTERM), . = nothing.
std::string run(const std::string& events) {
    IdleWatcher watcher;
    std::string actions;
    for (char event : events) {
        const Action action = event == 'i'   ? watcher.idle()
                              : event == 'a' ? watcher.active()
                                             : watcher.boardEnded();
        actions += action == Action::StartBoard ? 'S' : action == Action::StopBoard ? 'T' : '.';
    }
    return actions;
}

TEST(IdleWatcher, StartsOneBoardAndStopsItWhenTheUserIsBack) {
    const struct {
        const char* events;
        const char* actions;
        const char* why;
    } cases[] = {
        {"iae", "ST.", "idle starts the board, the user back stops it"},
        {"iaeiae", "ST.ST.", "each idle after the user was back gets a board again"},
        {"iia", "S.T", "a second idle while a board shows starts no second board"},
        {"iea", "S..", "a board that ended on its own is not started again at once"},
        {"ieia", "S.ST", "... but at the next idle"},
        {"iaie", "ST.S", "idle while the board still closes: a board once the old one is gone"},
        {"iaiae", "ST...", "idle, then back again, while it closes: no board after it"},
        {"aeia", "..ST", "the user's activity or a stray end without a board does nothing"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.events), c.actions) << c.why;
}

}  // namespace
}  // namespace velmora::idle
