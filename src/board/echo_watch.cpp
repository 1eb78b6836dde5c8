// SPDX-License-Identifier: MIT
#include "board/echo_watch.h"

#include "platform/lifetime.h"
#include "settings/settings_keys.h"

namespace velmora::board {

void EchoWatch::tick() {
    // A held message may be the echo itself: judging the jukebox now could launch the fallback
    // over a board that is still being fed.
    if (boxOpen_ || messages_.holding()) return;
    if (board_.echoReceived())
        renewEcho();
    else
        fallback_.launch();
}

void EchoWatch::renewEcho() {
    // The box runs a nested event loop: ticks, link messages and even the unload may come
    // meanwhile.
    {
        platform::ScopedFlag open(boxOpen_);
        board_.services().ui.messageBox("True", settings::kProgramTitle);
    }
    if (board_.unloaded()) return;  // the link is closed and about to be released
    board_.send(kEchoRequest);
    board_.setEchoReceived(false);
}

}  // namespace velmora::board
