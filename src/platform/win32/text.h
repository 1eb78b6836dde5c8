// SPDX-License-Identifier: MIT
// UTF-8 inside the core, UTF-16 at the Windows edge.
#pragma once

#include <string>
#include <string_view>

namespace velmora::win32 {

// Invalid UTF-8 becomes U+FFFD.
std::wstring widen(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string narrow(std::wstring_view utf16);

}  // namespace velmora::win32
