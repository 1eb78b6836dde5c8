// SPDX-License-Identifier: MIT
// Each tick renews the echo request when the jukebox answered, or launches the fallback saver.
#pragma once

#include <memory>

#include "board/board_state.h"
#include "board/message_handler.h"
#include "platform/services.h"

namespace velmora::board {

class NotifyTimer {
  public:
    NotifyTimer(BoardState& board, const MessageHandler& messages)
        : board_(board), messages_(messages) {}
    ~NotifyTimer();

    // The tick of tmrNotify. Does nothing while a link message waits to retry, and never starts a
    // second fallback saver while the first one runs.
    void tick();

  private:
    void renewEcho();
    void launchFallback();

    BoardState& board_;
    const MessageHandler& messages_;
    std::unique_ptr<platform::Process> fallback_;
};

}  // namespace velmora::board
