// SPDX-License-Identifier: MIT
// How large a picture file says it is, read from its header before anything is decoded, and how
// large a picture the board's loaders take.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velmora::platform {

// A picture larger than this counts as not a picture rather than exhausting memory. JPEG may
// decode straight to a fraction of its size; PNG, GIF and BMP decode every pixel whatever the size
// shown, so theirs is the bound of a short decode (about 3000 x 3000).
inline constexpr std::int64_t kMaxPicturePixels = 64'000'000;
inline constexpr std::int64_t kMaxFullDecodePixels = 9'000'000;
// Nor is a file larger than this: a cover is a few megabytes at most.
inline constexpr std::int64_t kMaxPictureBytes = 32 * 1024 * 1024;

struct DeclaredSize {
    std::string_view format;  // the raster kind's: "bmp", "gif", "jpeg" or "png"
    std::int64_t width = 0;
    std::int64_t height = 0;
    // Whether a loader takes a picture of this size (the bounds above). A header's sizes may
    // reach 2^32 each: their product is never formed.
    bool allowed() const {
        const std::int64_t most = format == "jpeg" ? kMaxPicturePixels : kMaxFullDecodePixels;
        return width > 0 && height > 0 && width <= most && height <= most / width;
    }
};

// The size a BMP, GIF, PNG or JPEG file declares in its header (a GIF's first image may reach
// beyond its screen; a JPEG's is in its first frame header). Nothing for any other file, nor for
// one cut short before its size or declaring none.
std::optional<DeclaredSize> declaredSize(std::string_view file);

}  // namespace velmora::platform
