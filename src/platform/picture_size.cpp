// SPDX-License-Identifier: MIT
#include "platform/picture_size.h"

#include <algorithm>

#include "velmora/raster_kinds.h"

namespace velmora::platform {

namespace {

// Reads the file's fixed-width numbers; any read past its end leaves `whole` false.
struct Reader {
    std::string_view bytes;
    bool whole = true;

    std::uint32_t byte(std::size_t at) {
        if (at >= bytes.size()) {
            whole = false;
            return 0;
        }
        return static_cast<unsigned char>(bytes[at]);
    }
    std::uint32_t le16(std::size_t at) { return byte(at) | byte(at + 1) << 8; }
    std::uint32_t le32(std::size_t at) { return le16(at) | le16(at + 2) << 16; }
    std::uint32_t be16(std::size_t at) { return byte(at) << 8 | byte(at + 1); }
    std::uint32_t be32(std::size_t at) { return be16(at) << 16 | be16(at + 2); }
};

using Size = std::optional<DeclaredSize>;

Size sized(Reader& in, std::string_view format, std::int64_t width, std::int64_t height) {
    if (!in.whole || width <= 0 || height <= 0) return std::nullopt;
    return DeclaredSize{format, width, height};
}

Size bmp(Reader in) {
    // After the 14-byte file header: the old core header's 16-bit sizes, or any later header's
    // signed 32-bit ones (a negative height runs top-down).
    if (in.le32(14) == 12) return sized(in, "bmp", in.le16(18), in.le16(20));
    const auto height = std::int64_t(std::int32_t(in.le32(22)));
    return sized(in, "bmp", std::int32_t(in.le32(18)), height < 0 ? -height : height);
}

// The logical screen, grown to hold the first image, which a decoder allocates whole.
Size gif(Reader in) {
    std::int64_t width = in.le16(6);
    std::int64_t height = in.le16(8);
    const std::uint32_t flags = in.byte(10);
    if (!in.whole) return std::nullopt;
    std::size_t at = 13 + ((flags & 0x80) ? 3u << ((flags & 7) + 1) : 0);
    while (in.whole) {
        const std::uint32_t block = in.byte(at);
        if (block == 0x2C) {  // the first image
            width = std::max<std::int64_t>(width, in.le16(at + 1) + in.le16(at + 5));
            height = std::max<std::int64_t>(height, in.le16(at + 3) + in.le16(at + 7));
            break;
        }
        if (block != 0x21) break;  // the trailer, or no GIF: the screen is all there is
        at += 2;                   // an extension: its label, then sub-blocks up to an empty one
        for (std::uint32_t length; (length = in.byte(at)) != 0 && in.whole;) at += length + 1;
        ++at;
    }
    in.whole = true;  // a GIF cut short after its screen is the decoder's to refuse
    return sized(in, "gif", width, height);
}

Size png(Reader in) {
    if (in.bytes.size() < 16 || in.bytes.substr(12, 4) != "IHDR") return std::nullopt;
    return sized(in, "png", in.be32(16), in.be32(20));
}

// Segments up to the first frame header (SOF0 to SOF15, less DHT, JPG and DAC).
Size jpeg(Reader in) {
    std::size_t at = 2;
    while (in.whole) {
        if (in.byte(at) != 0xFF) return std::nullopt;
        std::uint32_t marker;
        while ((marker = in.byte(++at)) == 0xFF && in.whole) {
        }  // fill bytes
        ++at;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
        if (marker == 0xD9 || marker == 0xDA) return std::nullopt;           // no frame came
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return sized(in, "jpeg", in.be16(at + 5), in.be16(at + 3));
        const std::uint32_t length = in.be16(at);
        if (length < 2) return std::nullopt;
        at += length;
    }
    return std::nullopt;
}

}  // namespace

std::optional<DeclaredSize> declaredSize(std::string_view file) {
    const RasterKind* kind = rasterKind(file);
    if (!kind) return std::nullopt;
    const Reader in{file};
    if (kind->format == "bmp") return bmp(in);
    if (kind->format == "gif") return gif(in);
    if (kind->format == "png") return png(in);
    return jpeg(in);
}

}  // namespace velmora::platform
