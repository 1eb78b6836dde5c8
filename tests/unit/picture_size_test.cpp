// SPDX-License-Identifier: MIT
// The size a picture file declares, read from its header before a loader allocates for it.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/picture_size.h"

namespace velmora::platform {
namespace {

using namespace std::string_literals;

std::string le16(unsigned v) {
    return {char(v & 0xFF), char(v >> 8 & 0xFF)};
}
std::string le32(unsigned v) {
    return le16(v & 0xFFFF) + le16(v >> 16);
}
std::string be16(unsigned v) {
    return {char(v >> 8 & 0xFF), char(v & 0xFF)};
}
std::string be32(unsigned v) {
    return be16(v >> 16) + be16(v & 0xFFFF);
}

std::string bmp(unsigned headerSize, const std::string& size) {
    return "BM" + le32(0) + le32(0) + le32(0) + le32(headerSize) + size + std::string(16, '\0');
}
std::string gif(unsigned width, unsigned height, const std::string& rest) {
    return "GIF89a" + le16(width) + le16(height) + rest;
}
// A GIF image: its left, top, width and height.
std::string image(unsigned left, unsigned top, unsigned width, unsigned height) {
    return std::string("\x2C") + le16(left) + le16(top) + le16(width) + le16(height) + std::string(1, '\0');
}
std::string png(unsigned width, unsigned height) {
    return "\x89PNG\r\n\x1A\n" + be32(13) + "IHDR" + be32(width) + be32(height) + "\x08\x06";
}
std::string segment(unsigned char marker, const std::string& data) {
    return std::string{'\xFF', char(marker)} + be16(unsigned(data.size()) + 2) + data;
}
std::string frame(unsigned char marker, unsigned width, unsigned height) {
    return segment(marker, std::string("\x08") + be16(height) + be16(width) + "\x03");
}
const std::string soi = "\xFF\xD8";

TEST(PictureSize, IsReadFromEachFormatsHeader) {
    struct Case {
        const char* name;
        std::string file;
        std::optional<DeclaredSize> size;
    } cases[] = {
        {"BMP", bmp(40, le32(640) + le32(480)), DeclaredSize{"bmp", 640, 480}},
        {"BMP top-down", bmp(124, le32(640) + le32(-480)), DeclaredSize{"bmp", 640, 480}},
        {"BMP core header", bmp(12, le16(300) + le16(200)), DeclaredSize{"bmp", 300, 200}},
        {"BMP no width", bmp(40, le32(0) + le32(480)), std::nullopt},
        {"BMP cut short", bmp(40, le32(640) + le32(480)).substr(0, 24), std::nullopt},
        {"GIF screen", gif(320, 240, "\x00\x00\x00"s + image(0, 0, 320, 240)),
         DeclaredSize{"gif", 320, 240}},
        // Past a colour table and an extension, an image reaching beyond the screen.
        {"GIF image",
         gif(1, 1,
             "\x81\x00\x00"s + std::string(12, 'c') + "\x21\xF9\x04xxxx\x00"s +
                 image(10, 20, 40000, 30000)),
         DeclaredSize{"gif", 40010, 30020}},
        {"GIF cut after its screen", gif(16, 16, "\x80"), DeclaredSize{"gif", 16, 16}},
        {"GIF cut in its screen", "GIF87a\x10\x00\x10"s, std::nullopt},
        {"PNG", png(4096, 2160), DeclaredSize{"png", 4096, 2160}},
        {"PNG without IHDR", png(1, 1).replace(12, 4, "IDAT"), std::nullopt},
        {"PNG cut short", png(4096, 2160).substr(0, 22), std::nullopt},
        {"JPEG", soi + frame(0xC0, 1024, 768), DeclaredSize{"jpeg", 1024, 768}},
        // A frame after other segments and fill bytes; tables and restart markers are no frame.
        {"JPEG progressive",
         soi + segment(0xE1, std::string(5000, 'e')) + segment(0xC4, "huff") + "\xFF\xFF\xFF" +
             frame(0xC2, 8000, 8000),
         DeclaredSize{"jpeg", 8000, 8000}},
        {"JPEG scan before a frame", soi + segment(0xDA, "scan") + frame(0xC0, 9, 9), std::nullopt},
        {"JPEG height left to later", soi + frame(0xC0, 9, 0), std::nullopt},
        {"JPEG cut short", (soi + frame(0xC1, 1024, 768)).substr(0, 8), std::nullopt},
        {"JPEG broken length", soi + "\xFF\xE0\x00\x01"s + frame(0xC0, 9, 9), std::nullopt},
        {"no raster file", "\xD7\xCD\xC6\x9A"s + std::string(40, '\0'), std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto size = declaredSize(c.file);
        ASSERT_EQ(size.has_value(), c.size.has_value());
        if (!size) continue;
        EXPECT_EQ(size->format, c.size->format);
        EXPECT_EQ(size->width, c.size->width);
        EXPECT_EQ(size->height, c.size->height);
    }
}

TEST(PictureSize, BoundsAreThoseOfAShortDecodeSaveForJpeg) {
    EXPECT_TRUE((DeclaredSize{"png", 3000, 3000}.allowed()));
    EXPECT_FALSE((DeclaredSize{"png", 3000, 3001}.allowed()));
    EXPECT_FALSE((DeclaredSize{"gif", 65535, 65535}.allowed()));
    EXPECT_TRUE((DeclaredSize{"jpeg", 8000, 8000}.allowed()));
    EXPECT_FALSE((DeclaredSize{"jpeg", 8000, 8001}.allowed()));
    EXPECT_FALSE((DeclaredSize{"png", 0xFFFFFFFF, 0xFFFFFFFF}.allowed()));  // no overflow
    EXPECT_FALSE((DeclaredSize{"bmp", 1, 9'000'001}.allowed()));
}

}  // namespace
}  // namespace velmora::platform
