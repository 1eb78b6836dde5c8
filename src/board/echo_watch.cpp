// SPDX-License-Identifier: MIT
#include "board/echo_watch.h"

namespace velmora::board {

void EchoWatch::tick() {
    // A held message may be the echo itself: judging the jukebox now could launch the fallback
    // over a board that is still being fed.
    if (messages_.holding()) return;
    if (board_.echoReceived())
        renewEcho();
    else
        fallback_.launch();
}

// At once, with nothing for anyone to answer: on an unattended board the heartbeat, and with it the
// fallback, goes on tick after tick.
void EchoWatch::renewEcho() {
    board_.send(kEchoRequest);
    board_.setEchoReceived(false);
}

}  // namespace velmora::board
