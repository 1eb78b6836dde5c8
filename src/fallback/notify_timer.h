// Each tick renews the echo request when the jukebox answered, or launches the fallback saver.
#pragma once

#include "shell/board_context.h"

namespace velmora {

class NotifyTimer {
  public:
    explicit NotifyTimer(BoardContext& board) : board_(board) {}
    void tick();

  private:
    BoardContext& board_;
};

}  // namespace velmora
