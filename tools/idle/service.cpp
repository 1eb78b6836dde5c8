// SPDX-License-Identifier: MIT
#include "service.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velmora::idle {
namespace {

constexpr int kKillAfterMs = 5000;  // a board that has not ended by then is killed

long long nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

}  // namespace

// Signals arrive through a descriptor, handled in the loop like everything else. Blocked without
// one, they would reach nobody: "systemctl stop" would wait for its SIGKILL.
int openStopSignals() {
    sigset_t mask, before;
    sigemptyset(&mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&mask, s);
    sigprocmask(SIG_BLOCK, &mask, &before);
    const int fd = signalfd(-1, &mask, SFD_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        sigprocmask(SIG_SETMASK, &before, nullptr);
        errno = error;
    }
    return fd;
}

void Service::sessionIdle() {
    std::printf("velmora-idle: the session is idle\n");
    act(watcher_.idle());
}

void Service::userActive() {
    std::printf("velmora-idle: the user is back\n");
    act(watcher_.active());
}

void Service::act(Action action) {
    if (action == Action::StartBoard) {
        std::printf("velmora-idle: starting %s /S\n", board_.program().c_str());
        if (!board_.start()) act(watcher_.boardEnded());
    } else if (action == Action::StopBoard) {
        stopBoard();
    }
}

void Service::stopBoard() {
    std::printf("velmora-idle: ending the board\n");
    board_.terminate();
    killAt_ = nowMs() + kKillAfterMs;
}

// The board is asked to end; nobody would be left to end it when the user is back.
int Service::endWithFailure() {
    if (board_.running()) board_.terminate();
    std::fflush(stdout);
    return 1;
}

int Service::run(IdleSource& source, int signals) {
    bool stopping = false;
    for (;;) {
        pollfd fds[3] = {{}, {signals, POLLIN, 0}, {board_.fd(), POLLIN, 0}};
        int timeout = source.prepare(fds[0]);
        if (board_.running() && killAt_ >= 0) {
            const int left = static_cast<int>(std::max(0LL, killAt_ - nowMs()));
            timeout = timeout < 0 ? left : std::min(timeout, left);
        }
        std::fflush(stdout);
        const nfds_t count = board_.running() ? 3 : 2;
        if (poll(fds, count, timeout) < 0) {
            if (errno == EINTR) continue;
            // Anything else comes back at every turn: going round would only spin.
            std::printf("velmora-idle: cannot wait for events: %s\n", std::strerror(errno));
            return endWithFailure();
        }

        if (count == 3 && fds[2].revents) {
            killAt_ = -1;
            std::printf("velmora-idle: the board %s\n", board_.reap().c_str());
            if (stopping) return 0;
            act(watcher_.boardEnded());
        } else if (board_.running() && killAt_ >= 0 && nowMs() >= killAt_) {
            std::printf("velmora-idle: the board did not end; killing it\n");
            board_.kill();
            killAt_ = -1;
        }
        if (fds[1].revents) {
            signalfd_siginfo info{};
            if (read(signals, &info, sizeof info) > 0 && !stopping) {
                stopping = true;
                if (!board_.running()) return 0;
                stopBoard();
            }
        }
        if (fds[0].revents && !source.dispatch(fds[0].revents)) {
            std::printf("velmora-idle: lost %s\n", source.describe().c_str());
            return endWithFailure();
        }
    }
}

}  // namespace velmora::idle
