// SPDX-License-Identifier: MIT
#include "web_board.h"

#include <stdexcept>

#include "options.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#endif

namespace velmora::jukebox {

std::vector<std::string> webBoardArguments(const Options& options) {
    if (options.port == 0)
        throw UsageError(
            "--web needs the service's own --port (not 0): velmora-web connects to it");
    std::string listen = options.web;
    if (listen.find(':') == std::string::npos) listen = "127.0.0.1:" + listen;
    // A service listening on every address is reached on loopback.
    std::string host = options.host;
    if (host == "0.0.0.0") host = "127.0.0.1";
    if (host == "::") host = "::1";
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return {"--listen", listen, "--jukebox", host + ":" + std::to_string(options.port)};
}

#ifdef _WIN32
WebBoard::WebBoard(const Options&) {
    throw std::runtime_error("--web: velmora-web is built for Linux only");
}
WebBoard::~WebBoard() = default;
#else
WebBoard::WebBoard(const Options& options) {
    const std::vector<std::string> arguments = webBoardArguments(options);
    std::error_code ignored;
    const std::filesystem::path beside =
        std::filesystem::canonical("/proc/self/exe", ignored).parent_path() / "velmora-web";
    const std::string program =
        std::filesystem::exists(beside, ignored) ? beside.string() : std::string("velmora-web");
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) throw std::runtime_error("--web: no pipe");
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("--web: ") + std::strerror(errno));
    if (pid == 0) {
        // Only async-signal-safe calls here. The board ends with the service, however it ends.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        ::execvp(argv[0], argv.data());
        const int error = errno;
        (void)!::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    int error = 0;
    const ssize_t got = ::read(report[0], &error, sizeof error);  // nothing: exec succeeded
    ::close(report[0]);
    if (got == sizeof error) {
        ::waitpid(pid, nullptr, 0);
        throw std::runtime_error("--web: cannot start " + program + ": " + std::strerror(error));
    }
    pid_ = pid;
}

WebBoard::~WebBoard() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}
#endif

}  // namespace velmora::jukebox
