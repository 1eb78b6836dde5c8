// SPDX-License-Identifier: MIT
// GNOME's idle watch on a bus daemon of the test's own, with a stand-in for the idle monitor.
#include <poll.h>
#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "idle_source.h"
#include "private_bus.h"

namespace velmora::idle {
namespace {

constexpr const char* kMonitor = "org.gnome.Mutter.IdleMonitor";
constexpr const char* kPath = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr std::uint32_t kIdleWatch = 7;

struct Counted final : IdleEvents {
    int idle = 0;
    void sessionIdle() override { ++idle; }
    void userActive() override {}
};

int answerAddIdleWatch(sd_bus_message* call, void* answered, sd_bus_error*) {
    if (std::strcmp(sd_bus_message_get_member(call), "AddIdleWatch") != 0) return 0;
    *static_cast<bool*>(answered) = true;
    return sd_bus_reply_method_return(call, "u", kIdleWatch);
}

TEST(MutterIdle, AFloodOfSignalsIsHandledOneBoundedTurnAtATime) {
    velmora::testing::PrivateBus daemon;
    if (!daemon.up()) GTEST_SKIP() << "no dbus-daemon";
    sd_bus* monitor = nullptr;
    ASSERT_GE(sd_bus_open_user(&monitor), 0);
    ASSERT_GE(sd_bus_request_name(monitor, kMonitor, 0), 0);
    bool answered = false;
    ASSERT_GE(sd_bus_add_object(monitor, nullptr, kPath, answerAddIdleWatch, &answered), 0);
    // The watch is asked for with a blocking call: the stand-in answers it from a thread.
    std::thread standIn([&] {
        while (!answered && sd_bus_process(monitor, nullptr) >= 0) sd_bus_wait(monitor, 100000);
        sd_bus_flush(monitor);
    });
    Counted events;
    std::string whyNot;
    const auto source = openMutterIdle(60000, events, whyNot);
    standIn.join();
    ASSERT_TRUE(source) << whyNot;

    // Far more than one turn, all passed on by the daemon before the watcher reads again.
    constexpr int kFlood = 500;
    for (int i = 0; i < kFlood; ++i)
        ASSERT_GE(sd_bus_emit_signal(monitor, kPath, kMonitor, "WatchFired", "u", kIdleWatch), 0);
    ASSERT_GE(sd_bus_call_method(monitor, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                 "org.freedesktop.DBus", "GetId", nullptr, nullptr, ""),
              0);

    pollfd entry{};
    EXPECT_EQ(source->prepare(entry), 0) << "a wait asked for with a flood left";
    EXPECT_GE(events.idle, 1);
    EXPECT_LE(events.idle, kBusMessagesPerTurn) << "the loop's other work waited for the flood";
    // The loop as velmora-idle runs it, until the flood is through.
    while (events.idle < kFlood) {
        const int timeout = source->prepare(entry);
        ASSERT_GE(poll(&entry, 1, timeout), 0);
        if (entry.revents) {
            ASSERT_TRUE(source->dispatch(entry.revents));
        }
    }
    sd_bus_flush_close_unref(monitor);
}

}  // namespace
}  // namespace velmora::idle
