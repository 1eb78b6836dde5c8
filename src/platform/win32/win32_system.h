// SPDX-License-Identifier: MIT
// The pointer, screen-saver activation, the command line, directory lookup and program launch.
#pragma once

#include "platform/services.h"

namespace velmora::win32 {

class Win32System final : public platform::System {
  public:
    int showCursor(bool show) override;
    void setScreenSaverActive(bool active) override;
    std::string commandLine() override;
    // Like FindFirstFile, skipping hidden, system and folder entries; a path ending in a separator
    // looks inside that folder.
    std::string findFirstFile(const std::string& path) override;
    // CreateProcess with the program quoted, shown normally with the focus; not waited for.
    std::unique_ptr<platform::Process> launch(const std::string& program,
                                              const std::vector<std::string>& args) override;
};

}  // namespace velmora::win32
