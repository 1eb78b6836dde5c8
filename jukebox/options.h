// SPDX-License-Identifier: MIT
// The service's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmora::jukebox {

struct Options {
    std::string host = "127.0.0.1";
    std::uint16_t port = 47321;
    bool demo = false;
    std::string playlist;              // an M3U file, when not the demo
    std::optional<std::string> mpd;    // follow an MPD server; empty: from MPD_HOST / MPD_PORT
    std::optional<std::string> mpris;  // follow desktop players; a name: only that player
    std::string coverDir;              // where followers write covers; empty: the user's cache
    std::string coverPathAs;           // what boards are sent instead of the folder's own path
    double speed = 1.0;
    std::size_t maxClients = 64;
    std::string transcript;  // empty: none
    std::string web;         // "[ADDRESS:]PORT" of velmora-web beside the service; empty: none
    bool help = false;
};

inline constexpr double kMinSpeed = 0.01;
inline constexpr double kMaxSpeed = 1e6;

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The arguments after the program's name; "--name value" and "--name=value" both work.
// Throws UsageError.
Options parseOptions(std::span<const std::string_view> args);

std::string usage();

}  // namespace velmora::jukebox
