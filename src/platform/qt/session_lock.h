// SPDX-License-Identifier: MIT
// One board per Wayland session: a lock file under $XDG_RUNTIME_DIR, named for the compositor's
// socket and held (flock) for the board's life. The kernel drops it when the process ends, however
// it ends, so a crashed board leaves nothing behind.
#pragma once

#include <memory>
#include <string>

namespace velmora::qt {

class SessionLock {
  public:
    ~SessionLock();
    SessionLock(const SessionLock&) = delete;
    SessionLock& operator=(const SessionLock&) = delete;

    // The lock, or nullptr when another board holds it. Without $XDG_RUNTIME_DIR (no place to
    // share with the other boards of the session) every board may show.
    static std::unique_ptr<SessionLock> take();

  private:
    explicit SessionLock(int fd) : fd_(fd) {}
    int fd_;
};

// The lock file's path for the session named by $XDG_RUNTIME_DIR and $WAYLAND_DISPLAY, or "".
std::string sessionLockPath();

}  // namespace velmora::qt
