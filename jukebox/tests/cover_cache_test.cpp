// SPDX-License-Identifier: MIT
#include "covers/cover_cache.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "temp_folder.h"

namespace velmora::jukebox {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr auto kApart = std::chrono::milliseconds(1100);  // MinGW reads file times in seconds
#else
constexpr auto kApart = std::chrono::milliseconds(20);
#endif

std::string jpeg(char fill, std::size_t size) {
    return "\xFF\xD8\xFF" + std::string(size - 3, fill);
}

TEST(CoverCache, OneFilePerContentNamedByItAndTheOldestGoFirst) {
    testing::TempFolder folder;
    const fs::path covers = folder.path() / "covers";
    CoverCache cache(covers, "", 2500);
    fs::create_directories(covers);
    std::ofstream(covers / "notes.txt") << std::string(5000, 'n');  // not ours: never removed

    const auto first = cache.store(jpeg('a', 1000));
    ASSERT_TRUE(first);
    EXPECT_EQ(cache.store(jpeg('a', 1000)), first);  // the same picture: the same file
    EXPECT_EQ(fs::path(*first).filename().string(), *CoverCache::nameFor(jpeg('a', 1000)));
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
        EXPECT_EQ(fs::path(CoverCache::nameFor(bytes).value()).extension(), extension);
}

TEST(CoverCache, BoardsOnOtherMachinesGetThePrefixAndTheName) {
    testing::TempFolder folder;
    CoverCache cache(folder.path(), "\\\\jukebox\\covers\\", 1 << 20);
    const std::string bytes = jpeg('z', 100);
    const auto sent = cache.store(bytes);
    EXPECT_EQ(sent, "\\\\jukebox\\covers\\" + *CoverCache::nameFor(bytes));
    EXPECT_TRUE(fs::exists(folder.path() / *CoverCache::nameFor(bytes)));
    EXPECT_TRUE(cache.holds(sent.value()));
    fs::remove(folder.path() / *CoverCache::nameFor(bytes));
    EXPECT_FALSE(cache.holds(sent.value()));
}

}  // namespace
}  // namespace velmora::jukebox
