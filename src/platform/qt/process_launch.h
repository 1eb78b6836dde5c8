// SPDX-License-Identifier: MIT
// Starting another program (the fallback screen saver) without waiting for it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/services.h"

namespace velmora::qt {

// Runs program with args directly, no shell between: a path with spaces or shell characters runs
// that file and nothing else. The program outlives the returned object and is never a zombie of
// ours. Throws Failure(FileNotFound) when it cannot be started.
std::unique_ptr<platform::Process> launchProcess(const std::string& program,
                                                 const std::vector<std::string>& args);

}  // namespace velmora::qt
