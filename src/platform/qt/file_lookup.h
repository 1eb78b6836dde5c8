// SPDX-License-Identifier: MIT
// The directory lookup the fallback check relies on.
#pragma once

#include <string>
#include <string_view>

namespace velmora::qt {

// The name, without folder, of the first ordinary file (not hidden, not a folder, not a device or
// pipe) that path names; "*" and "?" may stand in its last component. "" when there is none. Names
// are compared case-sensitively and tried in sorted order.
std::string findFirstFile(const std::string& path);

// Whether name fits pattern: "*" any run of characters, "?" exactly one, all else itself.
bool wildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace velmora::qt
