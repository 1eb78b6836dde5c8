// SPDX-License-Identifier: MIT
// velmora-idle's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora::idle {

struct Options {
    unsigned afterMs = 5 * 60 * 1000;
    bool help = false;
};

// The arguments after the program's name. nullopt, with the reason in error, for a bad line.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);

extern const char* const kUsage;

}  // namespace velmora::idle
