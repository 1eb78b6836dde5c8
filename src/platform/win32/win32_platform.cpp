// SPDX-License-Identifier: MIT
#include "platform/win32/win32_platform.h"

#include <commctrl.h>
#include <ole2.h>

namespace velmora::win32 {

Win32Platform::Ole::Ole() {
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

Win32Platform::Ole::~Ole() {
    OleUninitialize();
}

Win32Platform::Win32Platform(HINSTANCE instance) : ui_(instance), pictures_(ui_), network_(ui_) {}

Win32Platform::~Win32Platform() = default;

}  // namespace velmora::win32
