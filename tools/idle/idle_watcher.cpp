// SPDX-License-Identifier: MIT
#include "idle_watcher.h"

namespace velmora::idle {

Action IdleWatcher::idle() {
    idle_ = true;
    if (board_ != Board::None) return Action::None;  // one board; a closing one is waited for
    board_ = Board::Showing;
    return Action::StartBoard;
}

Action IdleWatcher::active() {
    idle_ = false;
    if (board_ != Board::Showing) return Action::None;
    board_ = Board::Stopping;
    return Action::StopBoard;
}

Action IdleWatcher::boardEnded() {
    const Board was = board_;
    board_ = Board::None;
    // The user left again while the board was closing: the idle that came meanwhile is owed a
    // board. A board that ended on its own is not restarted until the next idle (a board that
    // cannot start must not be started over and over).
    if (was == Board::Stopping && idle_) {
        board_ = Board::Showing;
        return Action::StartBoard;
    }
    return Action::None;
}

}  // namespace velmora::idle
