// SPDX-License-Identifier: MIT
// The fake platform fails a test that breaks the lifetime rule, and only such a test.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "fake/fake_platform.h"

namespace velmora {
namespace {

// Lets go of `what` in the callback at once, or from a task it posts.
void release(fake::FakePlatform& platform, bool posted, const std::function<void()>& what) {
    if (posted)
        platform.post(what);
    else
        what();
}

void timerFromItsTick(bool posted) {
    fake::FakePlatform platform;
    std::unique_ptr<platform::Timer> timer;
    timer =
        platform.createTimer(10, true, [&] { release(platform, posted, [&] { timer.reset(); }); });
    platform.advance(10);
    EXPECT_EQ(timer, nullptr);
}

void socketFromItsEvent(bool posted) {
    fake::FakePlatform platform;
    struct Events final : platform::SocketEvents {
        std::function<void()> gone;
        void connected() override {}
        void received(std::string_view) override {}
        void disconnected() override { gone(); }
    } events;
    std::unique_ptr<platform::StreamSocket> socket = platform.createSocket(events);
    events.gone = [&] { release(platform, posted, [&] { socket.reset(); }); };
    platform.sockets[0]->drop();
    platform.runPosted();
    EXPECT_EQ(socket, nullptr);
}

TEST(LifetimeFaults, AReleaseInsideItsOwnCallbackFailsTheTestAndAPostedOneDoesNot) {
    const struct {
        void (*run)(bool posted);
        const char* fault;
    } cases[] = {
        {timerFromItsTick, "a timer released inside its own tick"},
        {socketFromItsEvent, "a socket released inside its own event"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        EXPECT_NONFATAL_FAILURE(c.run(false), c.fault);
        c.run(true);
    }
}

}  // namespace
}  // namespace velmora
