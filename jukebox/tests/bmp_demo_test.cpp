// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "common/bmp.h"
#include "common/encoding.h"
#include "common/messages.h"
#include "playlist/demo.h"
#include "temp_folder.h"

namespace velmora::jukebox {
namespace {

std::uint32_t read32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

TEST(Bmp, HeadersRowsAndPaddingAreThoseOfA24BitBitmap) {
    Image image(3, 2);              // 9 bytes a row, padded to 12
    image.at(0, 0) = {1, 2, 3};     // top left
    image.at(2, 1) = {10, 20, 30};  // bottom right
    const std::string file = encodeBmp(image);

    ASSERT_EQ(file.size(), 54u + 2 * 12);
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(read32(file, 2), file.size());
    EXPECT_EQ(read32(file, 10), 54u);  // pixels start
    EXPECT_EQ(read32(file, 14), 40u);
    EXPECT_EQ(read32(file, 18), 3u);
    EXPECT_EQ(read32(file, 22), 2u);
    EXPECT_EQ(read32(file, 28) & 0xFFFF, 24u);
    EXPECT_EQ(read32(file, 30), 0u);  // uncompressed
    // Bottom row first, blue-green-red.
    EXPECT_EQ(file.substr(54 + 6, 3), std::string("\x1E\x14\x0A", 3));
    EXPECT_EQ(file.substr(54 + 9, 3), std::string(3, '\0'));
    EXPECT_EQ(file.substr(54 + 12, 3), std::string("\x03\x02\x01", 3));
}

TEST(Demo, EightDiscsWithTheirOwnCoversOnDisk) {
    testing::TempFolder folder;
    const Playlist playlist = demoPlaylist(folder.path() / "covers");
    ASSERT_EQ(playlist.size(), 8u);

    std::set<std::string> covers;
    bool ampersand = false, beyondAscii = false;
    for (const Track& track : playlist) {
        EXPECT_TRUE(track.lengthKnown);
        EXPECT_GT(track.seconds, 60);
        EXPECT_EQ(pathField(track.picture), track.picture);  // a board gets it intact
        std::ifstream in(pathFromUtf8(track.picture), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        ASSERT_EQ(bytes.size(), 54u + 256 * 256 * 3) << track.picture;
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        covers.insert(bytes);
        ampersand |= track.artist.find('&') != std::string::npos;
        for (const char ch : track.title) beyondAscii |= static_cast<unsigned char>(ch) >= 0x80;
    }
    EXPECT_EQ(covers.size(), 8u);  // all different
    EXPECT_TRUE(ampersand);
    EXPECT_TRUE(beyondAscii);
    // Written whole: nothing but the covers is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path() / "covers"), {}), 8);
}

}  // namespace
}  // namespace velmora::jukebox
