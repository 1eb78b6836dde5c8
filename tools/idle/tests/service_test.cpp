// SPDX-License-Identifier: MIT
// The loop's own faults: a stop signal that cannot be watched, and poll() failing for good. Both
// are provoked for real through the descriptor limit (signalfd cannot get a descriptor; poll
// refuses more descriptors than the limit allows).
#include "service.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>

namespace velmora::idle {
namespace {

// Lowers the soft descriptor limit for its lifetime.
class DescriptorLimit {
  public:
    explicit DescriptorLimit(rlim_t soft) {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = soft;
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &saved_); }

  private:
    rlimit saved_{};
};

bool blocked(int signal) {
    sigset_t now;
    sigprocmask(SIG_BLOCK, nullptr, &now);
    return sigismember(&now, signal) == 1;
}

// Restores the signal mask the test started with.
class SignalMaskGuard {
  public:
    SignalMaskGuard() { sigprocmask(SIG_BLOCK, nullptr, &saved_); }
    ~SignalMaskGuard() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

  private:
    sigset_t saved_{};
};

TEST(StopSignals, ComeThroughTheDescriptorOrAreLeftAsTheyWere) {
    SignalMaskGuard guard;
    const int fd = openStopSignals();
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(blocked(SIGTERM));
    raise(SIGTERM);  // blocked: it waits in the descriptor
    signalfd_siginfo info{};
    EXPECT_EQ(read(fd, &info, sizeof info), static_cast<ssize_t>(sizeof info));
    EXPECT_EQ(info.ssi_signo, static_cast<unsigned>(SIGTERM));
    close(fd);
}

TEST(StopSignals, WithoutADescriptorSigtermStillEndsTheProgram) {
    SignalMaskGuard guard;
    const int lowest = fcntl(0, F_DUPFD, 0);  // the lowest free descriptor
    ASSERT_GE(lowest, 0);
    close(lowest);
    int fd;
    {
        DescriptorLimit noneLeft(static_cast<rlim_t>(lowest));
        fd = openStopSignals();
    }
    EXPECT_LT(fd, 0);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) EXPECT_FALSE(blocked(s)) << s;
    if (fd >= 0) close(fd);
}

// An idle source on a pipe that never speaks; it counts the loop's turns. At the end of its first
// prepare(), the last thing before poll(), it lowers the descriptor limit below the two
// descriptors the loop polls, so that poll() fails with EINVAL.
class QuietSource final : public IdleSource {
  public:
    QuietSource() { EXPECT_EQ(pipe(pipe_), 0); }
    ~QuietSource() override {
        close(pipe_[0]);
        close(pipe_[1]);
    }
    std::string describe() const override { return "a quiet pipe"; }
    int prepare(pollfd& entry) override {
        entry = {pipe_[0], POLLIN, 0};
        if (++turns == 1) {
            limit_ = std::make_unique<DescriptorLimit>(1);
        } else if (turns == kEnough) {
            // A loop that goes round after a failed poll would never end: the limit goes and
            // the source speaks, and is then found gone.
            limit_.reset();
            EXPECT_EQ(write(pipe_[1], "x", 1), 1);
        }
        return -1;
    }
    bool dispatch(short) override { return false; }
    void unlimit() { limit_.reset(); }

    static constexpr int kEnough = 100;
    int turns = 0;

  private:
    int pipe_[2] = {-1, -1};
    std::unique_ptr<DescriptorLimit> limit_;
};

TEST(Service, EndsWithAFailureWhenPollFails) {
    QuietSource source;
    int signals[2];
    ASSERT_EQ(pipe(signals), 0);
    Service service("velmora2000-not-started");
    const int status = service.run(source, signals[0]);
    source.unlimit();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(source.turns, 1) << "the loop went round after poll() failed";
    close(signals[0]);
    close(signals[1]);
}

}  // namespace
}  // namespace velmora::idle
