// SPDX-License-Identifier: MIT
// The board's process: started with "/S", watched through a pidfd (readable when it has ended),
// asked to end with SIGTERM, and killed when it has not ended a while after.
#pragma once

#include <sys/types.h>

#include <string>

namespace velmora::idle {

class BoardProcess {
  public:
    // program: a path, or a name looked up in PATH.
    explicit BoardProcess(std::string program) : program_(std::move(program)) {}
    ~BoardProcess();
    BoardProcess(const BoardProcess&) = delete;
    BoardProcess& operator=(const BoardProcess&) = delete;

    // Starts "program /S"; false (and a message on standard error) when it cannot.
    bool start();
    void terminate();  // SIGTERM
    void kill();       // SIGKILL, for a board that does not end
    // After the pidfd became readable: reaps the process, returns a description of how it ended.
    std::string reap();

    bool running() const { return pid_ > 0; }
    int fd() const { return pidfd_; }
    const std::string& program() const { return program_; }

  private:
    std::string program_;
    pid_t pid_ = -1;
    int pidfd_ = -1;
};

// velmora2000 beside this program when it is there, else the name alone (found through PATH).
std::string boardBesideUs();

}  // namespace velmora::idle
