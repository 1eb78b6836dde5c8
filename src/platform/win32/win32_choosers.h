// SPDX-License-Identifier: MIT
// The system's file-open and colour choosers (common dialogs), modal to the active window.
#pragma once

#include <array>

#include "platform/services.h"

namespace velmora::win32 {

// The chooser's filter: each description and pattern ended by NUL, the list by one more.
std::wstring filterText(const std::vector<platform::FileFilter>& filters);

class Win32Choosers final : public platform::Choosers {
  public:
    std::optional<platform::FileChoice> chooseFile(const platform::FileRequest& request) override;
    std::optional<Colour> chooseColour(Colour initial, platform::ColourOptions options) override;

  private:
    std::array<unsigned long, 16>
        customColours_{};  // COLORREFs: the chooser's own row, kept for the run
};

}  // namespace velmora::win32
