// SPDX-License-Identifier: MIT
// How velmora-jukebox-background.exe starts the service: inside a job, or not at all.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::jukebox {

// Starts program (commandLine is its whole command line) suspended, puts it in job, and only then
// lets it run, with output (when not INVALID_HANDLE_VALUE) as its standard output and error. A
// process that cannot be put in the job is ended before it runs: outside the job nothing would
// end it with its starter, and a stop would wait for it forever. Returns the running process's
// handle, or nullptr with the reason in `why`.
HANDLE startInJob(HANDLE job, const std::wstring& program, std::wstring commandLine, HANDLE output,
                  std::string& why);

}  // namespace velmora::jukebox
