// SPDX-License-Identifier: MIT
// The lifetime rule: the board's window, its timer and its link go in a posted task once no
// handler of the window is on the stack, even when a modal box's loop runs posted tasks meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "message_harness.h"

namespace velmora {
namespace {

TEST(Lifetime, AnUnloadInsideTheNotifyBoxReleasesTheBoardOnlyAfterTheTick) {
    struct Case {
        const char* how;
        std::function<void(platform::WindowEvents&)> unload;
    };
    const Case cases[] = {
        {"mouse press", [](platform::WindowEvents& w) { w.mouseDown(1, 0, 0, 0); }},
        {"close box", [](platform::WindowEvents& w) { w.closeRequested(); }},
        {"mouse moved away",
         [](platform::WindowEvents& w) {
             w.mouseMove(0, 0, 100, 100);
             w.mouseMove(0, 0, 130, 100);
         }},
    };
    for (const Case& c : cases) {
        testing::RunningBoard b;
        b.deliver("echo[cdjon]");
        b.platform.duringMessageBox = [&] { c.unload(b.platform.window("Velmora")->events); };
        b.platform.advance(5000);  // the tick opens the box; its loop runs the posted release

        // The box's loop ran the posted release while the tick was on the stack: it waited.
        const auto releases =
            std::count(b.platform.log.begin(), b.platform.log.end(), "DestroyWindow(Velmora)");
        EXPECT_TRUE(b.platform.lifetimeFaults.empty())
            << c.how << ": " << ::testing::PrintToString(b.platform.lifetimeFaults);
        EXPECT_EQ(releases, 1) << c.how;
        EXPECT_EQ(b.platform.window("Velmora"), nullptr) << c.how;
        EXPECT_TRUE(b.platform.timers.empty()) << c.how << ": the notify timer went with it";
        EXPECT_TRUE(b.platform.quitCalled) << c.how;
        EXPECT_EQ(b.platform.calls("LinkSend(cdj,echo[cdjon])").size(), 0u)
            << c.how << ": nothing is sent over a closed link";
    }
}

}  // namespace
}  // namespace velmora
