// SPDX-License-Identifier: MIT
#include "mpris/art_covers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include "../../tests/run_until.h"
#include "../../tests/temp_folder.h"

namespace velmora::jukebox::mpris {
namespace {

using namespace std::chrono_literals;

const std::string kPng = "\x89PNG\r\n\x1A\n0000";

// A cover on a share that answers slowly: the read ends when the service's thread has ticked
// meanwhile, or after a long while when it cannot (the read then holds that thread up).
struct SlowShare {
    std::optional<std::string> read(const std::filesystem::path&) {
        std::unique_lock lock(mutex);
        reads += 1;
        tickedWhileRead = changed.wait_for(lock, 5s, [&] { return ticked; });
        return kPng;
    }
    void tick() {
        const std::lock_guard lock(mutex);
        ticked = true;
        changed.notify_all();
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool ticked = false, tickedWhileRead = false;
    int reads = 0;
};

TEST(ArtCovers, TheTimeCodeTicksWhileACoverFileIsStillBeingRead) {
    testing::TempFolder folder;
    asio::io_context io;
    SlowShare share;
    int ready = 0;
    bool ticked = false;
    ArtCovers covers(
        io, CoverFolder(folder.path(), "", 1 << 20), [&] { ++ready; }, [](const std::string&) {},
        [&](const std::filesystem::path& path) { return share.read(path); });
    asio::steady_timer tick(io);
    asio::post(io, [&] {
        // A track with a cover on the share, then the one-second tick that paces the boards.
        EXPECT_EQ(covers.pictureFor("file:///share/cover.png", "player"), std::nullopt);
        tick.expires_after(1ms);
        tick.async_wait([&](const std::error_code&) { share.tick(), ticked = true; });
    });
    testing::runUntil(io, [&] { return ticked && ready; });
    EXPECT_TRUE(share.tickedWhileRead);
    EXPECT_EQ(ready, 1);
    const std::string sent = covers.pictureFor("file:///share/cover.png", "player").value_or("");
    EXPECT_EQ(std::filesystem::path(sent).parent_path(), folder.path());
    EXPECT_EQ(share.reads, 1);  // remembered: not read again
}

TEST(ArtCovers, DataCoversAreDecodedInTheBackgroundAndOtherSchemesAreNone) {
    testing::TempFolder folder;
    asio::io_context io;
    int ready = 0;
    ArtCovers covers(
        io, CoverFolder(folder.path(), "", 1 << 20), [&] { ++ready; }, [](const std::string&) {});
    const std::string png = "data:image/png;base64,iVBORw0KGgowMDAw";
    EXPECT_EQ(covers.pictureFor(png, "player"), std::nullopt);
    EXPECT_EQ(covers.pictureFor("ftp://host/cover.png", "player next"), "");
    testing::runUntil(io, [&] { return ready > 0; });
    EXPECT_EQ(ready, 1);
    EXPECT_TRUE(std::filesystem::exists(covers.pictureFor(png, "player").value_or("")));
    EXPECT_EQ(covers.pictureFor("ftp://host/cover.png", "player next"), "");
}

}  // namespace
}  // namespace velmora::jukebox::mpris
