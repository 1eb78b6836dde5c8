// SPDX-License-Identifier: MIT
// The raster pictures the board shows, told by their first bytes: what the board's loader decodes
// and what the jukebox's cover cache keeps.
#pragma once

#include <string_view>

namespace velmora {

struct RasterKind {
    std::string_view signature;
    std::string_view format;     // the decoder's name for it
    std::string_view extension;  // a file of this kind is named with it
};

inline constexpr RasterKind kRasterKinds[] = {
    {"BM", "bmp", ".bmp"},
    {"GIF87a", "gif", ".gif"},
    {"GIF89a", "gif", ".gif"},
    {"\xFF\xD8\xFF", "jpeg", ".jpg"},
    {"\x89PNG\r\n\x1A\n", "png", ".png"},
};

// The kind the bytes begin with; nothing for any other file.
constexpr const RasterKind* rasterKind(std::string_view head) {
    for (const RasterKind& kind : kRasterKinds)
        if (head.starts_with(kind.signature)) return &kind;
    return nullptr;
}

}  // namespace velmora
