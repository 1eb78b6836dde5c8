// SPDX-License-Identifier: MIT
// One board per Wayland session: a lock file under $XDG_RUNTIME_DIR, named for the compositor's
// socket and held (flock) for the board's life. The kernel drops it when the process ends, however
// it ends, so a crashed board leaves nothing behind.
#pragma once

#include <sys/file.h>

#include <functional>
#include <memory>
#include <string>

namespace velmora::qt {

class SessionLock {
  public:
    ~SessionLock();
    SessionLock(const SessionLock&) = delete;
    SessionLock& operator=(const SessionLock&) = delete;

    // flock(2), or a stand-in that fails as a file system may.
    using LockCall = std::function<int(int fd, int operation)>;

    // The lock, or nullptr when another board holds it. Without $XDG_RUNTIME_DIR (no place to
    // share with the other boards of the session), or when the lock fails for any other reason
    // (said on standard error), the board shows unguarded.
    static std::unique_ptr<SessionLock> take(const LockCall& lock = ::flock);

  private:
    explicit SessionLock(int fd) : fd_(fd) {}
    int fd_;
};

// The lock file's path for the session named by $XDG_RUNTIME_DIR and $WAYLAND_DISPLAY, or "".
std::string sessionLockPath();

}  // namespace velmora::qt
