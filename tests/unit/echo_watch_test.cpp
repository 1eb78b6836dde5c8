// SPDX-License-Identifier: MIT
// The echo watch at each tick of tmrNotify: the echo renewed behind a "True" box, or the fallback
// saver launched.
#include <gtest/gtest.h>

#include <map>

#include "message_harness.h"

namespace velmora {
namespace {

using Lines = std::vector<std::string>;
constexpr char kBox[] = "MessageBox(True,SCRNSAVE:Sample Screen Saver)";
constexpr char kEcho[] = "LinkSend(cdj,echo[cdjon])";

struct Board : testing::RunningBoard {
    void saver(const std::string& fullPath, const std::string& name) {
        platform.store[{"Velmora2000", "Default_saver", "FullPath"}] = fullPath;
        platform.store[{"Velmora2000", "Default_saver", "Name"}] = name;
    }
    void echo() { deliver("echo[cdjon]"); }
    void tick() {
        for (auto* t : platform.timers)
            if (t->interval() == 5000) t->tick();
    }
    bool echoFlag() { return app.mainWindow()->state().echoReceived(); }
};

TEST(EchoWatch, AnEchoShowsTheBoxThenRenewsTheRequest) {
    Board b;
    b.echo();
    std::size_t sendsDuringBox = 99;
    b.platform.duringMessageBox = [&] { sendsDuringBox = b.platform.calls("LinkSend").size(); };
    b.platform.advance(5000);
    EXPECT_EQ(sendsDuringBox, 0u);
    EXPECT_EQ(b.platform.log, (Lines{kBox, kEcho}));
    EXPECT_FALSE(b.echoFlag());
    b.platform.log.clear();
    b.platform.advance(5000);  // no echo this time: the fallback branch
    EXPECT_EQ(b.platform.log,
              (Lines{"GetSetting(Velmora2000,Default_saver,FullPath,)",
                     "GetSetting(Velmora2000,Default_saver,Name,)", "FindFirstFile()"}));
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
        EXPECT_TRUE(b.platform.calls("MessageBox").empty()) << c.name;
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

TEST(EchoWatch, NoTickIsServedWhileTheBoxIsOpen) {
    Board b;
    b.saver("/s/Star.scr", "Star.scr");
    b.platform.files = {{"/s/Star.scr", "Star.scr"}};
    b.echo();
    int boxes = 0;
    b.platform.duringMessageBox = [&] {
        if (++boxes > 1) return;  // a box opened over this one
        b.tick();
        b.echo();
        b.tick();
    };
    b.platform.advance(5000);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(b.platform.log, (Lines{kBox, kEcho}));  // no second box, no launch
    EXPECT_FALSE(b.echoFlag());
}

TEST(EchoWatch, AnUnloadWhileTheBoxIsOpenEndsTheTick) {
    Board b;
    b.echo();
    b.platform.duringMessageBox = [&] {
        b.platform.window("Velmora")->events.mouseDown(1, 0, 0, 0);
    };
    b.platform.advance(5000);
    EXPECT_EQ(b.platform.calls(kEcho).size(), 0u);
    EXPECT_EQ(b.platform.calls("LinkClose").size(), 2u);
    EXPECT_TRUE(b.platform.fatals.empty());
    EXPECT_TRUE(b.platform.quitCalled);
}

}  // namespace
}  // namespace velmora
