// Interprets the jukebox's messages and keeps the board current.
#pragma once

#include <string>

#include "shell/board_context.h"

namespace velmora {

class MessageHandler {
  public:
    explicit MessageHandler(BoardContext& board) : board_(board) {}
    void handle(std::string& endpoint, std::string& message);

  private:
    BoardContext& board_;
};

}  // namespace velmora
