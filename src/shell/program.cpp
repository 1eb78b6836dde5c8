// SPDX-License-Identifier: MIT
#include "shell/program.h"

#include "board/message_handler.h"
#include "link/socket_link.h"
#include "shell/application.h"

namespace velmora::shell {

void runProgram(platform::Services& services, const std::function<void()>& eventLoop) {
    link::SocketLinkFactory links(services, board::newerTimeCode);
    Application application(services, links);
    application.start();
    eventLoop();
}

}  // namespace velmora::shell
