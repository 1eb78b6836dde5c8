// SPDX-License-Identifier: MIT
// The service's own settings, kept for the user who runs it: on Windows the registry key
// HKEY_CURRENT_USER\Software\velmora-jukebox, which the installer writes, so that nothing secret
// goes on a command line that any program may list. Elsewhere there are none.
#pragma once

#include <string>

namespace velmora::jukebox {

// The MPD address ([PASSWORD@]HOST[:PORT]) that "--mpd" without one follows: the value
// "MpdAddress"; empty when none is stored.
std::string storedMpdAddress();

}  // namespace velmora::jukebox
