// SPDX-License-Identifier: MIT
// The echo watch at each tick of tmrNotify: the echo renewed, or the fallback saver launched.
#include <gtest/gtest.h>

#include <map>

#include "message_harness.h"

namespace velmora {
namespace {

using Lines = std::vector<std::string>;
constexpr char kEcho[] = "LinkSend(cdj,echo[cdjon])";

struct Board : testing::RunningBoard {
    void saver(const std::string& fullPath, const std::string& name) {
        platform.store[{"Velmora2000", "Default_saver", "FullPath"}] = fullPath;
        platform.store[{"Velmora2000", "Default_saver", "Name"}] = name;
    }
    void echo() { deliver("echo[cdjon]"); }
    bool echoFlag() { return app.mainWindow()->state().echoReceived(); }
};

TEST(EchoWatch, AnEchoRenewsTheRequestAtOnceAndDoesNothingElse) {
    Board b;
    b.saver("/s/Star.scr", "Star.scr");
    b.platform.files = {{"/s/Star.scr", "Star.scr"}};
    for (int tick = 0; tick < 3; ++tick) {  // an answered echo, tick after tick
        b.platform.log.clear();
        b.echo();
        b.platform.advance(5000);
        EXPECT_EQ(b.platform.log, Lines{kEcho}) << tick;
        EXPECT_FALSE(b.echoFlag()) << tick;
    }
    b.platform.advance(5000);  // no echo this time: the fallback branch
    EXPECT_EQ(b.platform.launches.size(), 1u);
}

TEST(FallbackSaver, LaunchesTheFallbackOnlyWhenTheLookupYieldsTheStoredName) {
    struct Case {
        const char* name;
        std::string fullPath, storedName;
        std::map<std::string, std::string> files;  // path -> name the lookup reports
        bool launches;
    } cases[] = {
        {"nothing stored", "", "", {}, false},
        {"empty name", "/s/Star.scr", "", {{"/s/Star.scr", "Star.scr"}}, false},
        {"case only", "/s/Star.scr", "star.scr", {{"/s/Star.scr", "Star.scr"}}, false},
        {"removed file", "/s/Star.scr", "Star.scr", {}, false},
        {"empty path", "", "Star.scr", {{"", "Star.scr"}}, false},
        {"spaces",
         "/home/u/My Savers/Star Field.scr",
         "Star Field.scr",
         {{"/home/u/My Savers/Star Field.scr", "Star Field.scr"}},
         true},
        {"shell characters",
         "/s/a;rm -rf ~ $(x).scr",
         "a;rm -rf ~ $(x).scr",
         {{"/s/a;rm -rf ~ $(x).scr", "a;rm -rf ~ $(x).scr"}},
         true},
    };
    for (const auto& c : cases) {
        Board b;
        b.saver(c.fullPath, c.storedName);
        b.platform.files = c.files;
        b.platform.advance(5000);
        EXPECT_EQ(b.platform.calls("FindFirstFile"), Lines{"FindFirstFile(" + c.fullPath + ")"})
            << c.name;
        ASSERT_EQ(b.platform.launches.size(), c.launches ? 1u : 0u) << c.name;
        if (c.launches) {
            EXPECT_EQ(b.platform.launches[0].program, c.fullPath) << c.name;
            EXPECT_EQ(b.platform.launches[0].args, Lines{"/S"}) << c.name;
        }
        EXPECT_TRUE(b.platform.fatals.empty()) << c.name;
    }
}

TEST(FallbackSaver, ARunningFallbackIsNotLaunchedAgainAndSettingsAreReadAtEveryTick) {
    Board b;
    b.saver("/s/Star.scr", "Star.scr");
    b.platform.files = {{"/s/Star.scr", "Star.scr"}, {"/s/Pipes.scr", "Pipes.scr"}};
    b.platform.advance(10000);
    ASSERT_EQ(b.platform.launches.size(), 1u);
    EXPECT_EQ(b.platform.calls("FindFirstFile").size(), 2u);
    *b.platform.launches[0].alive = false;
    b.saver("/s/Pipes.scr", "Pipes.scr");
    b.platform.advance(5000);
    ASSERT_EQ(b.platform.launches.size(), 2u);
    EXPECT_EQ(b.platform.launches[1].program, "/s/Pipes.scr");
}

TEST(FallbackSaver, AFallbackThatCannotStartIsTriedAgainWithoutEndingTheBoard) {
    Board b;
    b.saver("/s/Star.scr", "Star.scr");
    b.platform.files = {{"/s/Star.scr", "Star.scr"}};
    b.platform.failLaunch = true;
    b.platform.advance(10000);
    EXPECT_EQ(b.platform.calls("Launch").size(), 2u);
    EXPECT_TRUE(b.platform.fatals.empty());
    EXPECT_FALSE(b.app.mainWindow()->unloaded());
}

}  // namespace
}  // namespace velmora
