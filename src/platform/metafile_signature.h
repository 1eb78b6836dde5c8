// SPDX-License-Identifier: MIT
// Telling Windows metafiles (WMF) and enhanced metafiles (EMF) from other files by their first
// bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmora::platform {

namespace metafile_detail {
inline std::uint32_t littleEndian(std::string_view bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = value << 8 | std::uint8_t(bytes[at + i]);
    return value;
}
}  // namespace metafile_detail

inline bool isWmf(std::string_view head) {
    using metafile_detail::littleEndian;
    if (head.size() >= 4 && littleEndian(head, 0, 4) == 0x9AC6CDD7u) return true;  // placeable
    if (head.size() < 6) return false;
    const std::uint32_t kind = littleEndian(head, 0, 2), version = littleEndian(head, 4, 2);
    return (kind == 1 || kind == 2) && littleEndian(head, 2, 2) == 9 &&
           (version == 0x0100 || version == 0x0300);
}

inline bool isEmf(std::string_view head) {
    using metafile_detail::littleEndian;
    return head.size() >= 44 && littleEndian(head, 0, 4) == 1 &&
           littleEndian(head, 40, 4) == 0x464D4520u;  // " EMF"
}

}  // namespace velmora::platform
