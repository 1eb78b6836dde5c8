// SPDX-License-Identifier: MIT
#include "playlist/demo.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>
#include <system_error>

#include "common/encoding.h"

namespace velmora::jukebox {

namespace fs = std::filesystem;

namespace {

constexpr int kCoverSize = 256;

struct DemoDisc {
    const char* album;
    const char* artist;
    const char* title;
    int seconds;
    Rgb colour;
};

// Invented names; one artist with "&", one title beyond ASCII, one with quotation marks.
constexpr std::array<DemoDisc, 8> kDiscs = {{
    {"Night Ferry", "The Lantern Choir", "Paper Boats", 221, {32, 64, 160}},
    {"Long Distance", "Marlow & Finch", "Copper Wire Heart", 252, {176, 96, 32}},
    {"Cin\u00e9ma muet",
     "Odile Fournier",
     "\u00c9clair de lune \u00e0 Montr\u00e9al",
     185,
     {120, 40, 120}},
    {"Rail Yard Sessions", "Gus Halvorsen Trio", "Blue Hour at the Depot", 308, {24, 120, 128}},
    {"Tidal Maps", "Kestrel Bay", "Undertow", 234, {40, 140, 72}},
    {"Ink & Rain", "Priya Nandakumar", "Monsoon Letters", 273, {160, 40, 48}},
    {"Wattage", "The Static Orchard", "\"Fuse Box\" Lullaby", 178, {200, 168, 32}},
    {"Coin Slot Serenades", "Velvet Switchboard", "Last Call at the Jukebox", 287, {88, 88, 96}},
}};

// Digits 0-9 in a 3 x 5 grid, one row of three bits per entry, top row first.
constexpr std::array<std::array<std::uint8_t, 5>, 10> kDigits = {{
    {7, 5, 5, 5, 7},
    {2, 6, 2, 2, 7},
    {7, 1, 7, 4, 7},
    {7, 1, 7, 1, 7},
    {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7},
    {7, 1, 1, 1, 1},
    {7, 5, 7, 5, 7},
    {7, 5, 7, 1, 7},
}};

std::uint8_t scale(std::uint8_t value, double factor) {
    return static_cast<std::uint8_t>(std::clamp(value * factor, 0.0, 255.0));
}

void drawNumber(Image& image, int number, int left, int top, int cell) {
    const std::string digits = std::to_string(number);
    for (std::size_t d = 0; d < digits.size(); ++d) {
        const auto& glyph = kDigits[static_cast<std::size_t>(digits[d] - '0')];
        for (int row = 0; row < 5; ++row)
            for (int column = 0; column < 3; ++column) {
                if (!(glyph[row] & (4 >> column))) continue;
                const int x0 = left + (static_cast<int>(d) * 4 + column) * cell;
                for (int y = top + row * cell; y < top + (row + 1) * cell; ++y)
                    for (int x = x0; x < x0 + cell; ++x)
                        if (x < image.width && y < image.height) image.at(x, y) = {255, 255, 255};
            }
    }
}

}  // namespace

Image drawCover(int number, Rgb colour) {
    Image image(kCoverSize, kCoverSize);
    const double centre = (kCoverSize - 1) / 2.0;
    for (int y = 0; y < kCoverSize; ++y) {
        for (int x = 0; x < kCoverSize; ++x) {
            // Background: the disc's colour, darker towards the bottom right.
            const double shade = 1.2 - 0.7 * (x + y) / (2.0 * kCoverSize);
            Rgb pixel{scale(colour.red, shade), scale(colour.green, shade),
                      scale(colour.blue, shade)};
            const double radius = std::hypot(x - centre, y - (centre + 16));
            if (radius < 96 && radius >= 10) {
                if (radius < 34) {
                    pixel = {scale(colour.red, 0.6), scale(colour.green, 0.6),
                             scale(colour.blue, 0.6)};  // the label
                } else {
                    // Silver with faint grooves and a sheen that turns with the angle.
                    const double angle = std::atan2(y - centre, x - centre);
                    const double grey =
                        170 + 25 * std::sin(radius * 0.8) + 40 * std::cos(2 * angle);
                    const auto level = static_cast<std::uint8_t>(std::clamp(grey, 0.0, 255.0));
                    pixel = {level, level, static_cast<std::uint8_t>(std::min(255, level + 12))};
                }
            }
            image.at(x, y) = pixel;
        }
    }
    drawNumber(image, number, 14, 10, 6);
    return image;
}

Playlist demoPlaylist(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        throw std::runtime_error("cannot create the cover folder '" + pathToUtf8(folder) +
                                 "': " + error.message());
    Playlist playlist;
    int number = 0;
    for (const DemoDisc& disc : kDiscs) {
        ++number;
        const fs::path cover = folder / ("cover-" + std::to_string(number) + ".bmp");
        writeFileAtomically(cover, encodeBmp(drawCover(number, disc.colour)));
        playlist.push_back(
            Track{disc.album, disc.artist, disc.title, disc.seconds, true, pathToUtf8(cover)});
    }
    return playlist;
}

}  // namespace velmora::jukebox
