// SPDX-License-Identifier: MIT
// The page's files (web/page), built into the program.
#pragma once

#include <span>
#include <string_view>

namespace velmora::web {

struct PageFile {
    std::string_view name;
    std::string_view bytes;
};

std::span<const PageFile> pageFiles();

}  // namespace velmora::web
