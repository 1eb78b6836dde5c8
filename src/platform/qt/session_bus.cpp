// SPDX-License-Identifier: MIT
#include "platform/qt/session_bus.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>

namespace velmora::qt {

void noSessionBusOfOurOwn() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return;
    // libdbus looks here before it autolaunches.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat bus {};
    if (runtime && *runtime && stat((std::string(runtime) + "/bus").c_str(), &bus) == 0 &&
        S_ISSOCK(bus.st_mode))
        return;
    // An address of no transport libdbus knows: a connection fails without trying anything.
    setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
}

}  // namespace velmora::qt
