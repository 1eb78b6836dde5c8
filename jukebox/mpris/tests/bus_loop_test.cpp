// SPDX-License-Identifier: MIT
// The session bus driven from the loop, on a bus daemon of the test's own: what a call or a match
// keeps is given back, and a peer that floods the bus gets one bounded turn at a time.
#include <systemd/sd-bus.h>

#include <memory>

#include <gtest/gtest.h>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include "../../tests/temp_folder.h"
#include "mpris/bus.h"
#include "private_bus.h"

namespace velmora::jukebox::mpris {
namespace {

const char* const kDBus = "org.freedesktop.DBus";
const char* const kDBusPath = "/org/freedesktop/DBus";

class BusLoopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!daemon_.up()) GTEST_SKIP() << "no dbus-daemon";
        bus_ = std::make_unique<Bus>(io_, BusKind::Session, [](const std::string&) {});
    }

    // The daemon answers a connection in order: once this is answered, what was asked before is
    // done (a match is in place).
    void roundTrip() {
        bool answered = false;
        bus_->call({kDBus, kDBusPath, kDBus, "GetId", "", {}},
                   [&](const Message&) { answered = true; });
        while (!answered) io_.run_one();
    }

    velmora::testing::PrivateBus daemon_;
    asio::io_context io_;
    std::unique_ptr<Bus> bus_;
};

TEST_F(BusLoopTest, AnsweredCallsAndClosedMatchesGiveBackTheirHandlers) {
    // Each handler holds a share of `held`; what sd-bus still keeps shows in its count.
    const auto held = std::make_shared<int>(0);
    bus_->match("type='signal',interface='org.example.Nothing'", [held](const Message&) {});
    constexpr int kCalls = 50;
    int answered = 0;
    for (int i = 0; i < kCalls; ++i)
        bus_->call({kDBus, kDBusPath, kDBus, "GetId", "", {}},
                   [held, &answered](const Message&) { ++answered; });
    while (answered < kCalls) io_.run_one();
    EXPECT_EQ(held.use_count(), 2) << "an answered call keeps its handler";
    bus_.reset();
    EXPECT_EQ(held.use_count(), 1) << "a match outlives its bus";
}

TEST_F(BusLoopTest, AFloodLetsOtherWorkRunAfterOneTurnAndIsThenReadToTheEnd) {
    int handled = 0;
    int handledWhenOtherWorkRan = -1;
    bus_->match("type='signal',interface='org.example.Flood'", [&](const Message&) {
        if (handled++ == 0) asio::post(io_, [&] { handledWhenOtherWorkRan = handled; });
    });
    roundTrip();

    // Far more than one turn, all passed on by the daemon before the loop runs again.
    constexpr int kFlood = 500;
    sd_bus* peer = nullptr;
    ASSERT_GE(sd_bus_open_user(&peer), 0);
    for (int i = 0; i < kFlood; ++i)
        ASSERT_GE(sd_bus_emit_signal(peer, "/", "org.example.Flood", "Tick", "u", i), 0);
    ASSERT_GE(sd_bus_call_method(peer, kDBus, kDBusPath, kDBus, "GetId", nullptr, nullptr, ""), 0);
    sd_bus_flush_close_unref(peer);

    // Read to the end: what sd-bus has read already is not left waiting for the socket.
    while (handled < kFlood) io_.run_one();
    EXPECT_GE(handledWhenOtherWorkRan, 1);
    EXPECT_LE(handledWhenOtherWorkRan, Bus::kMessagesPerTurn);
}

TEST(SessionBusNamed, AsSdBusLooksForIt) {
    ::velmora::jukebox::testing::TempFolder runtime;
    ::velmora::jukebox::testing::TempFolder withBus;
    withBus.write("bus", "");
    const std::string empty = runtime.path().string();
    const std::string full = withBus.path().string();
    const struct {
        const char* address;
        const char* runtimeDir;
        bool named;
    } cases[] = {
        {"unix:path=/run/user/1000/bus", nullptr, true},
        {"", full.c_str(), true},  // an empty address is none: the runtime folder's socket
        {nullptr, full.c_str(), true},
        {nullptr, empty.c_str(), false},  // the folder alone is no bus
        {"", "", false},
        {nullptr, nullptr, false},
    };
    for (const auto& [address, runtimeDir, named] : cases)
        EXPECT_EQ(sessionBusNamed(address, runtimeDir), named)
            << (address ? address : "(unset)") << " " << (runtimeDir ? runtimeDir : "(unset)");
}

}  // namespace
}  // namespace velmora::jukebox::mpris
