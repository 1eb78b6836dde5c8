// SPDX-License-Identifier: MIT
#include "options.h"

#include <cmath>
#include <cstdlib>

namespace velmora::idle {

const char* const kUsage =
    "Usage: velmora-idle [--after MINUTES | --after-seconds SECONDS]\n"
    "Starts the now-playing board (velmora2000 /S) when the desktop has had no input for\n"
    "MINUTES (default 5, fractions allowed), and ends it when the user is back.\n"
    "It is not a screen locker: the desktop's own lock keeps its own delay.\n";

namespace {

// A positive number of seconds that fits the idle protocols' 32-bit milliseconds.
std::optional<unsigned> toMs(const std::string& text, double unitSeconds) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0) return std::nullopt;
    const double ms = std::round(value * unitSeconds * 1000);
    if (ms < 1 || ms > 4294967295.0) return std::nullopt;
    return static_cast<unsigned>(ms);
}

}  // namespace

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error) {
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--after" || arg == "--after-seconds") {
            if (i + 1 == args.size()) {
                error = arg + " needs a number";
                return std::nullopt;
            }
            const auto ms = toMs(args[++i], arg == "--after" ? 60 : 1);
            if (!ms) {
                error = arg + " needs a positive number, not \"" + args[i] + "\"";
                return std::nullopt;
            }
            options.afterMs = *ms;
        } else {
            error = "unknown argument \"" + arg + "\"";
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace velmora::idle
