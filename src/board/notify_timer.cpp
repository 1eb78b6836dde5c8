// SPDX-License-Identifier: MIT
#include "board/notify_timer.h"

#include <string>

#include "settings/settings_keys.h"

namespace velmora::board {

NotifyTimer::~NotifyTimer() = default;

void NotifyTimer::tick() {
    // A held message may be the echo itself: judging the jukebox now could launch the fallback
    // over a board that is still being fed.
    if (messages_.holding()) return;
    if (board_.echoReceived())
        renewEcho();
    else
        launchFallback();
}

// No box here: a box would hold the tick until someone closed it, and on an unattended board the
// heartbeat, and with it the fallback, would stop after the first answer.
void NotifyTimer::renewEcho() {
    board_.send(kEchoRequest);
    board_.setEchoReceived(false);
}

void NotifyTimer::launchFallback() {
    auto& services = board_.services();
    const std::string fullPath = services.settings.read(
        settings::kApplication, settings::kSaverSection, settings::kFullPathKey, "");
    const std::string name = services.settings.read(settings::kApplication, settings::kSaverSection,
                                                    settings::kNameKey, "");
    const std::string found = services.system.findFirstFile(fullPath);
    if (found != name || name.empty() || fullPath.empty()) return;
    if (fallback_ && fallback_->running()) return;
    // The path goes to the system as the program itself, so spaces or shell characters in it name
    // that file and nothing else. A saver that cannot start is tried again at the next tick rather
    // than ending the board.
    try {
        fallback_ = services.system.launch(fullPath, {"/S"});
    } catch (const Failure&) {
        fallback_.reset();
    }
}

}  // namespace velmora::board
