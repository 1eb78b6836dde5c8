// SPDX-License-Identifier: MIT
// Velmora2000.scr: the now-playing board as a Windows screen saver.
#include "board/message_handler.h"
#include "link/socket_link.h"
#include "platform/win32/win32_platform.h"
#include "shell/application.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    velmora::win32::Win32Platform platform(instance);
    velmora::platform::Services services = platform.services();
    velmora::link::SocketLinkFactory links(services, velmora::board::newerTimeCode);
    velmora::shell::Application application(services, links);
    application.start();
    return platform.ui().run();
}
