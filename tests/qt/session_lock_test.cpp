// SPDX-License-Identifier: MIT
// One board per Wayland session: only another board's lock keeps a board from showing.
#include "platform/qt/session_lock.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cerrno>
#include <deque>

namespace velmora::qt {
namespace {

// The session's lock file in a folder of the test's own, for as long as it lives.
struct Session {
    QTemporaryDir runtime;
    QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR"), oldDisplay = qgetenv("WAYLAND_DISPLAY");
    Session() {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        qputenv("WAYLAND_DISPLAY", "wayland-test");
    }
    ~Session() {
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
        qputenv("WAYLAND_DISPLAY", oldDisplay);
    }
};

TEST(SessionLock, OnlyAnotherBoardsLockKeepsTheBoardFromShowing) {
    const struct {
        const char* name;
        std::deque<int> errors;  // what each call fails with, then flock(2) itself
        int calls;
        bool shows;
        bool held;  // a second board is then kept out
    } cases[] = {
        {"taken", {}, 1, true, true},
        {"held by another board", {EWOULDBLOCK}, 1, false, false},
        {"interrupted, then taken", {EINTR, EINTR}, 3, true, true},
        {"no locks on this file system", {ENOLCK}, 1, true, false},
        {"a bad descriptor", {EBADF}, 1, true, false},
        {"no memory for the lock", {ENOMEM}, 1, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Session session;
        std::deque<int> errors = c.errors;
        int calls = 0;
        const auto lock = SessionLock::take([&](int fd, int operation) {
            ++calls;
            if (errors.empty()) return ::flock(fd, operation);
            errno = errors.front();
            errors.pop_front();
            return -1;
        });
        EXPECT_EQ(lock != nullptr, c.shows);
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(SessionLock::take() == nullptr, c.held) << "a second board";
    }
}

}  // namespace
}  // namespace velmora::qt
