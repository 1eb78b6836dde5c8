// SPDX-License-Identifier: MIT
// Watches the jukebox at each tick of tmrNotify: renews the echo request when the jukebox
// answered the last one, or hands the screen to the fallback saver when it did not.
#pragma once

#include "board/board_state.h"
#include "board/fallback_saver.h"
#include "board/message_handler.h"

namespace velmora::board {

class EchoWatch {
  public:
    EchoWatch(BoardState& board, const MessageHandler& messages)
        : board_(board), messages_(messages), fallback_(board.services()) {}

    // Does nothing while its own box is still open or while a link message waits to retry.
    void tick();

  private:
    void renewEcho();

    BoardState& board_;
    const MessageHandler& messages_;
    FallbackSaver fallback_;
    bool boxOpen_ = false;
};

}  // namespace velmora::board
