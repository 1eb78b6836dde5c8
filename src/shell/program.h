// SPDX-License-Identifier: MIT
// The program as every platform runs it: the application, on a socket link to the jukebox
// service that keeps only the newest of several time codes in a row.
#pragma once

#include <functional>

#include "platform/services.h"

namespace velmora::shell {

// Starts the application on the platform's services and runs `eventLoop`, which returns once the
// last window is gone (or at once when the start ended the program). The application and its
// links are released before this returns.
void runProgram(platform::Services& services, const std::function<void()>& eventLoop);

}  // namespace velmora::shell
