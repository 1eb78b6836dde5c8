// SPDX-License-Identifier: MIT
// velmora-idle: shows the now-playing board when the desktop goes idle and ends it when the user
// is back, on Wayland desktops (the compositor's idle protocol) and GNOME (mutter's idle monitor).
// It sleeps in poll() on the compositor's or the bus's descriptor, the board's pidfd and a
// signalfd: nothing runs while the desktop is in use.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "board_process.h"
#include "idle_source.h"
#include "idle_watcher.h"
#include "options.h"

using namespace velmora::idle;

namespace {

constexpr int kKillAfterMs = 5000;  // a board that has not ended by then is killed

long long nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

class Service final : public IdleEvents {
  public:
    explicit Service(std::string board) : board_(std::move(board)) {}

    void sessionIdle() override {
        std::printf("velmora-idle: the session is idle\n");
        act(watcher_.idle());
    }
    void userActive() override {
        std::printf("velmora-idle: the user is back\n");
        act(watcher_.active());
    }

    // Runs until a signal stops it (0) or the idle source is gone (1).
    int run(IdleSource& source, int signals);

  private:
    void act(Action action);
    void stopBoard();

    IdleWatcher watcher_;
    BoardProcess board_;
    long long killAt_ = -1;  // when a board asked to end is killed
};

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
        if (poll(fds, count, timeout) < 0) continue;  // EINTR

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
            if (board_.running()) board_.terminate();
            std::fflush(stdout);
            return 1;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "velmora-idle: %s\n%s", error.c_str(), kUsage);
        return 1;
    }
    if (options->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    // Signals arrive through a descriptor, handled in the loop like everything else.
    sigset_t mask;
    sigemptyset(&mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&mask, s);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    const int signals = signalfd(-1, &mask, SFD_CLOEXEC);

    Service service(boardBesideUs());
    std::string whyNotWayland, whyNotMutter;
    auto source = openWaylandIdle(options->afterMs, service, whyNotWayland);
    if (!source) source = openMutterIdle(options->afterMs, service, whyNotMutter);
    // A Wayland session's board on its compositor, whatever the session type says; X11 where
    // the Wayland platform is missing.
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if (display && *display) setenv("QT_QPA_PLATFORM", "wayland;xcb", 0);
    if (!source) {
        std::fprintf(stderr,
                     "velmora-idle: found no idle watch to use\n"
                     "  Wayland (ext_idle_notifier_v1, org_kde_kwin_idle): %s\n"
                     "  GNOME (org.gnome.Mutter.IdleMonitor): %s\n",
                     whyNotWayland.c_str(), whyNotMutter.c_str());
        return 2;
    }
    std::printf("velmora-idle: watching %s; the board after %.3g s without input\n",
                source->describe().c_str(), options->afterMs / 1000.0);
    return service.run(*source, signals);
}
