// SPDX-License-Identifier: MIT
#include "common/bmp.h"

#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

#include "common/encoding.h"

namespace velmora::jukebox {

namespace {

constexpr std::uint32_t kHeaderBytes = 14 + 40;

void put16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void put32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

}  // namespace

std::string encodeBmp(const Image& image) {
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
    const std::uint32_t pixelBytes = rowBytes * static_cast<std::uint32_t>(image.height);
    std::string out;
    out.reserve(kHeaderBytes + pixelBytes);

    out += "BM";
    put32(out, kHeaderBytes + pixelBytes);
    put32(out, 0);  // reserved
    put32(out, kHeaderBytes);
    put32(out, 40);  // BITMAPINFOHEADER
    put32(out, static_cast<std::uint32_t>(image.width));
    put32(out, static_cast<std::uint32_t>(image.height));  // positive: bottom-up
    put16(out, 1);                                         // planes
    put16(out, 24);                                        // bits per pixel
    put32(out, 0);                                         // BI_RGB
    put32(out, pixelBytes);
    put32(out, 2835);  // 72 dots per inch, in dots per metre
    put32(out, 2835);
    put32(out, 0);  // palette size
    put32(out, 0);  // important colours

    for (int y = image.height - 1; y >= 0; --y) {
        const std::size_t start = out.size();
        for (int x = 0; x < image.width; ++x) {
            const Rgb& pixel = image.pixels[static_cast<std::size_t>(y) * image.width + x];
            out += static_cast<char>(pixel.blue);
            out += static_cast<char>(pixel.green);
            out += static_cast<char>(pixel.red);
        }
        out.append(rowBytes - (out.size() - start), '\0');
    }
    return out;
}

void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes) {
    // Unique, so that two services starting together do not write the same temporary file.
    std::filesystem::path temporary = file;
    temporary += ".part" + std::to_string(std::random_device{}());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) throw std::runtime_error("cannot write '" + pathToUtf8(temporary) + "'");
    }
    std::error_code error;
    std::filesystem::rename(temporary, file, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        throw std::runtime_error("cannot write '" + pathToUtf8(file) + "'");
    }
}

}  // namespace velmora::jukebox
