// SPDX-License-Identifier: MIT
#include "covers/cover_cache.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include <asio/steady_timer.hpp>

#include "run_until.h"
#include "temp_folder.h"

namespace velmora::jukebox {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr auto kApart = std::chrono::milliseconds(1100);  // MinGW reads file times in seconds
#else
constexpr auto kApart = std::chrono::milliseconds(20);
#endif

using namespace std::chrono_literals;

std::string jpeg(char fill, std::size_t size) {
    return "\xFF\xD8\xFF" + std::string(size - 3, fill);
}

// Holds a cover read on the worker until the test lets it go.
class Gate {
  public:
    void wait() {
        std::unique_lock lock(mutex_);
        open_.wait(lock, [&] { return opened_; });
    }
    void open() {
        const std::lock_guard lock(mutex_);
        opened_ = true;
        open_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable open_;
    bool opened_ = false;
};

TEST(CoverFolder, OneFilePerContentNamedByItAndTheOldestGoFirst) {
    testing::TempFolder folder;
    const fs::path covers = folder.path() / "covers";
    const CoverFolder cache(covers, "", 2500);
    fs::create_directories(covers);
    std::ofstream(covers / "notes.txt") << std::string(5000, 'n');  // not ours: never removed

    const auto first = cache.store(jpeg('a', 1000));
    ASSERT_TRUE(first);
    EXPECT_EQ(cache.store(jpeg('a', 1000)), first);  // the same picture: the same file
    EXPECT_EQ(fs::path(*first).filename().string(), *CoverFolder::nameFor(jpeg('a', 1000)));
    std::this_thread::sleep_for(kApart);
    const auto second = cache.store(jpeg('b', 1000));
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);  // a changed cover is a new file
    std::this_thread::sleep_for(kApart);
    const auto third = cache.store(jpeg('c', 1000));  // past 2500 bytes: the oldest goes
    ASSERT_TRUE(third);
    EXPECT_FALSE(fs::exists(*first));
    EXPECT_TRUE(fs::exists(*second));
    EXPECT_TRUE(fs::exists(*third));
    EXPECT_FALSE(cache.holds(*first));  // what a board was sent, gone since: fetched again
    EXPECT_TRUE(cache.holds(*third));
    EXPECT_TRUE(fs::exists(covers / "notes.txt"));

    EXPECT_EQ(cache.store("not a picture"), std::nullopt);
    EXPECT_EQ(cache.store(jpeg('d', 3000)), std::nullopt);  // larger than the whole cache
    for (const auto& [bytes, extension] :
         {std::pair<std::string, std::string>{"\x89PNG\r\n\x1A\n....", ".png"},
          {"GIF89a....", ".gif"},
          {"BM......", ".bmp"},
          {jpeg('e', 10), ".jpg"}})
        EXPECT_EQ(fs::path(CoverFolder::nameFor(bytes).value()).extension(), extension);
}

TEST(CoverFolder, BoardsOnOtherMachinesGetThePrefixAndTheName) {
    testing::TempFolder folder;
    const CoverFolder cache(folder.path(), "\\\\jukebox\\covers\\", 1 << 20);
    const std::string bytes = jpeg('z', 100);
    const auto sent = cache.store(bytes);
    EXPECT_EQ(sent, "\\\\jukebox\\covers\\" + *CoverFolder::nameFor(bytes));
    EXPECT_TRUE(fs::exists(folder.path() / *CoverFolder::nameFor(bytes)));
    EXPECT_TRUE(cache.holds(sent.value()));
    fs::remove(folder.path() / *CoverFolder::nameFor(bytes));
    EXPECT_FALSE(cache.holds(sent.value()));
}

TEST(CoverFolder, TheServiceCacheFollowsTheConvention) {
    const auto folder = serviceCacheFolder();
    EXPECT_EQ(folder.filename(), "velmora-jukebox");
    EXPECT_TRUE(folder.is_absolute()) << folder;
}

#ifndef _WIN32
// Sets the variables a row names (nullptr: unset) and puts back what was there.
class ScopedEnvironment {
  public:
    ScopedEnvironment(std::initializer_list<std::pair<const char*, const char*>> values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name);
            saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
            value ? ::setenv(name, value, 1) : ::unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(CoverFolder, TheServiceCacheIsTheSystemUnitsCacheDirectoryWhenItHasOne) {
    struct Row {
        const char* cacheDirectory;
        const char* xdgCacheHome;
        fs::path expected;
    };
    for (const Row& row : {
             Row{"/var/cache/velmora-jukebox", "/home/u/.cache", "/var/cache/velmora-jukebox"},
             Row{"/var/cache/velmora-jukebox:/var/cache/other", nullptr,
                 "/var/cache/velmora-jukebox"},
             Row{"", "/home/u/.cache", "/home/u/.cache/velmora-jukebox"},
             Row{"relative", "/home/u/.cache", "/home/u/.cache/velmora-jukebox"},
             Row{nullptr, "/home/u/.cache", "/home/u/.cache/velmora-jukebox"},
         }) {
        SCOPED_TRACE(row.cacheDirectory ? row.cacheDirectory : "(unset)");
        const ScopedEnvironment environment{{"CACHE_DIRECTORY", row.cacheDirectory},
                                            {"XDG_CACHE_HOME", row.xdgCacheHome},
                                            {"HOME", "/home/u"}};
        EXPECT_EQ(serviceCacheFolder(), row.expected);
    }
}
#endif

TEST(CoverCache, RemembersWhatBoardsWereSentUntilTheFolderLosesItOrAFailureAges) {
    for (const auto retry : {std::chrono::steady_clock::duration::max(),
                             std::chrono::steady_clock::duration::zero()}) {
        SCOPED_TRACE(retry.count());
        testing::TempFolder folder;
        asio::io_context io;
        std::vector<std::string> ready;
        CoverCache cache(io, CoverFolder(folder.path(), "", 1 << 20), retry,
                         [&](const std::string& key) { ready.push_back(key); });
        EXPECT_EQ(cache.recall("a"), std::nullopt);
        cache.load("a", "current", [] { return jpeg('a', 100); });
        cache.load("none", "next", [] { return std::optional<std::string>(); });
        EXPECT_TRUE(cache.pending("a"));
        EXPECT_EQ(cache.recall("a"), std::nullopt);  // on its way
        testing::runUntil(io, [&] { return ready.size() == 2; });
        EXPECT_EQ(ready, (std::vector<std::string>{"a", "none"}));
        EXPECT_FALSE(cache.pending("a"));
        const auto sent = cache.recall("a");
        ASSERT_TRUE(sent);
        EXPECT_TRUE(fs::exists(*sent));
        EXPECT_EQ(cache.recall("a"), sent);
        // A failure: remembered as none, or asked for again once old enough.
        EXPECT_EQ(cache.recall("none"),
                  retry.count() == 0 ? std::nullopt : std::optional<std::string>(""));
        fs::remove(*sent);  // the bound made room, or the user cleared the cache
        EXPECT_EQ(cache.recall("a"), std::nullopt);
    }
}

TEST(CoverCache, PastTheirBoundTheRememberedCoversAreForgotten) {
    asio::io_context io;
    CoverCache cache(io, CoverFolder(fs::temp_directory_path(), "", 1 << 20),
                     std::chrono::steady_clock::duration::max(), [](const std::string&) {});
    for (int key = 0; key < 1024; ++key) cache.forNone(std::to_string(key));
    EXPECT_EQ(cache.recall("0"), "");
    EXPECT_EQ(cache.recall("1023"), "");
    cache.forNone("1024");
    EXPECT_EQ(cache.recall("0"), std::nullopt);
    EXPECT_EQ(cache.recall("1024"), "");
}

// The service's thread goes on while a read is stuck; a newer track's cover drops the one that
// still waits in its lane, never one of another lane.
TEST(CoverCache, AStuckReadHoldsNothingUpAndANewerTrackDropsTheWaitingCover) {
    testing::TempFolder folder;
    asio::io_context io;
    std::vector<std::string> ready;
    CoverCache cache(io, CoverFolder(folder.path(), "", 1 << 20),
                     std::chrono::steady_clock::duration::max(),
                     [&](const std::string& key) { ready.push_back(key); });
    Gate started, stuck;
    std::mutex readMutex;
    std::vector<std::string> read;
    const auto reader = [&](std::string key) {
        return [&, key]() -> std::optional<std::string> {
            if (key == "first") started.open(), stuck.wait();
            const std::lock_guard lock(readMutex);
            read.push_back(key);
            return jpeg(key[0], 100);
        };
    };
    cache.load("first", "current", reader("first"));
    started.wait();  // under way: a newer cover no longer drops it
    cache.load("second", "current", reader("second"));
    cache.load("next", "next", reader("next"));
    cache.load("third", "current", reader("third"));  // the second track's cover is stale
    EXPECT_FALSE(cache.pending("second"));
    EXPECT_TRUE(cache.pending("third"));

    bool ticked = false;
    asio::steady_timer tick(io, 1ms);
    tick.async_wait([&](const std::error_code&) { ticked = true; });
    testing::runUntil(io, [&] { return ticked; });
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(ready.empty());  // the tick came while the first read was stuck
    stuck.open();
    testing::runUntil(io, [&] { return ready.size() == 3; });
    EXPECT_EQ(ready, (std::vector<std::string>{"first", "next", "third"}));
    const std::lock_guard lock(readMutex);
    EXPECT_EQ(read, (std::vector<std::string>{"first", "next", "third"}));
}

TEST(CoverCache, ACoverReadForACacheThatIsGoneArrivesNowhere) {
    testing::TempFolder folder;
    asio::io_context io;
    int ready = 0;
    Gate started, stuck, returned;
    auto cache = std::make_unique<CoverCache>(io, CoverFolder(folder.path(), "", 1 << 20),
                                              std::chrono::steady_clock::duration::max(),
                                              [&](const std::string&) { ++ready; });
    cache->load("slow", "current", [&]() -> std::optional<std::string> {
        started.open();
        stuck.wait();
        returned.open();
        return jpeg('s', 100);
    });
    cache->load("waiting", "next", [] { return jpeg('w', 100); });
    started.wait();
    cache.reset();  // the follower stopped while the read hung
    stuck.open();
    returned.wait();
    io.restart();
    io.run_for(50ms);
    EXPECT_EQ(ready, 0);
}

}  // namespace
}  // namespace velmora::jukebox
