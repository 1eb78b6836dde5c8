// SPDX-License-Identifier: MIT
// Velmora2000.scr: the now-playing board as a Windows screen saver.
#include "platform/win32/win32_platform.h"
#include "shell/program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    velmora::win32::Win32Platform platform(instance);
    velmora::platform::Services services = platform.services();
    int exitCode = 0;
    velmora::shell::runProgram(services, [&] { exitCode = platform.ui().run(); });
    return exitCode;
}
