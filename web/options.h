// SPDX-License-Identifier: MIT
// velmora-web's command line.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "backend/jukebox_address.h"

namespace velmora::web {

struct Options {
    std::string listenHost = "127.0.0.1";  // loopback unless told otherwise
    std::string listenPort = "8047";
    std::optional<JukeboxAddress> jukebox;  // none: the address the board's settings name
    std::size_t maxPages = 1000;
    bool help = false;
};

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// "--listen ADDRESS:PORT" (an IPv6 address in brackets), "--jukebox HOST[:PORT]",
// "--max-pages N", "--help"; "--name value" and "--name=value" both work. Throws UsageError.
Options parseOptions(std::span<const std::string_view> args);

// "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT" into its two parts; the port stays as given when
// absent. Throws UsageError for an empty host or a port that is not 1..65535.
JukeboxAddress splitAddress(std::string_view text, std::string_view defaultPort);

std::string usage();

}  // namespace velmora::web
