// SPDX-License-Identifier: MIT
#include "platform/qt/session_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velmora::qt {

std::string sessionLockPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return {};
    std::string display = std::getenv("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "";
    if (display.empty()) display = "wayland-0";
    display = display.substr(display.find_last_of('/') + 1);  // it may be a path
    return std::string(runtime) + "/velmora2000-board-" + display + ".lock";
}

SessionLock::~SessionLock() {
    if (fd_ >= 0) close(fd_);
}

std::unique_ptr<SessionLock> SessionLock::take(const LockCall& lock) {
    constexpr int kNoLock = -1;  // a board that shows without a lock
    const std::string path = sessionLockPath();
    if (path.empty()) return std::unique_ptr<SessionLock>(new SessionLock(kNoLock));
    // Close-on-exec: a fallback screen saver the board launches must not keep it.
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return std::unique_ptr<SessionLock>(new SessionLock(kNoLock));
    int taken;
    do {
        taken = lock(fd, LOCK_EX | LOCK_NB);
    } while (taken != 0 && errno == EINTR);
    if (taken == 0) return std::unique_ptr<SessionLock>(new SessionLock(fd));
    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) return nullptr;  // another board shows
    // A lock that cannot be had says nothing of other boards: better perhaps two boards than none.
    std::fprintf(stderr, "velmora2000: the board shows without its session lock (%s: %s)\n",
                 path.c_str(), std::strerror(error));
    return std::unique_ptr<SessionLock>(new SessionLock(kNoLock));
}

}  // namespace velmora::qt
