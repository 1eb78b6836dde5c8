// SPDX-License-Identifier: MIT
// velmora-idle's loop: it sleeps in poll() on the idle source's descriptor, the board's pidfd and
// a signalfd, and carries out what the watcher decides. Nothing runs while the desktop is in use.
#pragma once

#include <string>

#include "board_process.h"
#include "idle_source.h"
#include "idle_watcher.h"

namespace velmora::idle {

// SIGTERM, SIGINT and SIGHUP blocked and readable from the descriptor returned; -1 (errno set)
// when there is no descriptor for them, and then they are not blocked either.
int openStopSignals();

class Service final : public IdleEvents {
  public:
    explicit Service(std::string board) : board_(std::move(board)) {}

    void sessionIdle() override;
    void userActive() override;

    // Runs until a signal stops it (0), or the idle source is gone or poll() fails (1).
    int run(IdleSource& source, int signals);

  private:
    void act(Action action);
    void stopBoard();
    int endWithFailure();

    IdleWatcher watcher_;
    BoardProcess board_;
    long long killAt_ = -1;  // when a board asked to end is killed
};

}  // namespace velmora::idle
