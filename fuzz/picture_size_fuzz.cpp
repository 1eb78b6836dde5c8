// SPDX-License-Identifier: MIT
// The size a cover file declares, read from its header before the Windows loader allocates for it.
//
// A raster file gives a positive size within what its header can hold, or nothing; any other
// file gives nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/picture_size.h"
#include "velmora/raster_kinds.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    const auto declared = velmora::platform::declaredSize(file);
    const velmora::RasterKind* kind = velmora::rasterKind(file);
    if (!declared) return 0;
    check(kind && declared->format == kind->format);
    // 32-bit fields for BMP and PNG, 16-bit ones for JPEG, a 16-bit offset and size for GIF.
    const std::int64_t most = kind->format == "jpeg"  ? 0xFFFF
                              : kind->format == "gif" ? 2 * 0xFFFF
                                                      : 0xFFFFFFFF;
    check(declared->width > 0 && declared->width <= most);
    check(declared->height > 0 && declared->height <= most);
    (void)declared->allowed();
    return 0;
}
