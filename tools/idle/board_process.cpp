// SPDX-License-Identifier: MIT
#include "board_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace velmora::idle {

BoardProcess::~BoardProcess() {
    if (pidfd_ >= 0) close(pidfd_);
}

bool BoardProcess::start() {
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The board gets the signals we block for our signalfd, with their default actions.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::string mode = "/S";
    char* argv[] = {program_.data(), mode.data(), nullptr};
    pid_t pid = -1;
    const int error = program_.find('/') == std::string::npos
                          ? posix_spawnp(&pid, program_.c_str(), nullptr, &attr, argv, environ)
                          : posix_spawn(&pid, program_.c_str(), nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    if (error != 0) {
        std::fprintf(stderr, "velmora-idle: cannot start %s: %s\n", program_.c_str(),
                     std::strerror(error));
        return false;
    }
    pid_ = pid;
    // HACK: glibc 2.36's <sys/pidfd.h> declares pidfd_open without C linkage.
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd_ < 0) {
        // Without a pidfd the board's end could not be seen: do not leave it unwatched.
        std::fprintf(stderr, "velmora-idle: cannot watch the board (pidfd_open: %s)\n",
                     std::strerror(errno));
        ::kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return false;
    }
    return true;
}

void BoardProcess::terminate() {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
}

void BoardProcess::kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
}

std::string BoardProcess::reap() {
    int status = 0;
    std::string how = "ended";
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
        if (WIFEXITED(status))
            how = "ended with status " + std::to_string(WEXITSTATUS(status));
        else if (WIFSIGNALED(status))
            how = std::string("killed by signal ") + std::to_string(WTERMSIG(status));
    }
    if (pidfd_ >= 0) close(pidfd_);
    pidfd_ = -1;
    pid_ = -1;
    return how;
}

std::string boardBesideUs() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto beside = self.parent_path() / "velmora2000";
        if (access(beside.c_str(), X_OK) == 0) return beside.string();
    }
    return "velmora2000";
}

}  // namespace velmora::idle
