// SPDX-License-Identifier: MIT
// Writes pictures as uncompressed 24-bit BMP files, a format every board can load.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::jukebox {

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
};

struct Image {
    Image(int width, int height) : width(width), height(height), pixels(width * height) {}
    Rgb& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }

    int width;
    int height;
    std::vector<Rgb> pixels;  // rows from the top
};

// The whole file: BITMAPFILEHEADER, BITMAPINFOHEADER, rows bottom-up padded to 4 bytes.
std::string encodeBmp(const Image& image);

// Writes beside the target and renames over it, so a reader never sees half a file.
// Throws std::runtime_error.
void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes);

}  // namespace velmora::jukebox
