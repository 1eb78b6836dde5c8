// SPDX-License-Identifier: MIT
// What velmora-idle does with the board as the session goes idle and the user comes back: at most
// one board at a time, started on idle, stopped when the user is back. No I/O here; the caller
// carries out the action each event returns.
#pragma once

namespace velmora::idle {

enum class Action { None, StartBoard, StopBoard };

class IdleWatcher {
  public:
    // The session has been idle for the threshold.
    Action idle();
    // The user is back (pointer, keys, touch).
    Action active();
    // The board's process ended: stopped by us, by its own mouse rule, or it died.
    Action boardEnded();

  private:
    enum class Board { None, Showing, Stopping };
    Board board_ = Board::None;
    bool idle_ = false;
};

}  // namespace velmora::idle
