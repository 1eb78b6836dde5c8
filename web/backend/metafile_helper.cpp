// SPDX-License-Identifier: MIT
#include "backend/metafile_helper.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>
#include <filesystem>

#include "platform/metafile_signature.h"
#include "platform/qt/address_sanitizer.h"

namespace velmora::web {
namespace {

namespace asio = boost::asio;
using boost::system::error_code;

void limit(int resource, rlim_t soft, rlim_t hard) {
    const rlimit value{soft, hard};
    ::setrlimit(resource, &value);
}

// One run of the helper. It lives until the helper is reaped, even when nobody waits for its PNG
// any more (the picture's request was let go, or the wall limit struck): no zombie stays.
struct Run : std::enable_shared_from_this<Run> {
    Run(asio::io_context& io, int output, pid_t pid, MetafileConverter::Done done, std::size_t most)
        : output(io, output), wall(io), reaper(io), pid(pid), done(std::move(done)), most(most) {}

    asio::posix::stream_descriptor output;
    asio::steady_timer wall;
    asio::steady_timer reaper;  // looks for the helper's end once its output has ended
    pid_t pid;
    MetafileConverter::Done done;
    std::size_t most;
    std::string png;
    std::array<char, 64 * 1024> buffer{};
    bool outputEnded = false;
    bool exitedWell = false;
    bool reaping = false;
    bool reaped = false;

    void start(int wallMs) {
        wall.expires_after(std::chrono::milliseconds(wallMs));
        wall.async_wait([self = shared_from_this()](const error_code& error) {
            if (!error) self->fail();
        });
        read();
    }

    void read() {
        output.async_read_some(asio::buffer(buffer),
                               [self = shared_from_this()](const error_code& error, std::size_t n) {
                                   self->png.append(self->buffer.data(), n);
                                   if (self->png.size() > self->most)
                                       return self->fail();  // too much said
                                   if (error) {
                                       self->outputEnded = true;
                                       return self->reap();
                                   }
                                   self->read();
                               });
    }

    // A helper ends right after its output as a rule; one that lingers is looked at again every
    // few milliseconds until the wall limit kills it.
    void reap() {
        reaping = true;
        int status = 0;
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == 0) {
            reaper.expires_after(std::chrono::milliseconds(5));
            reaper.async_wait([self = shared_from_this()](const error_code&) { self->reap(); });
            return;
        }
        exitedWell = ended == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        reaped = true;
        wall.cancel();
        if (outputEnded) answer(exitedWell ? std::move(png) : std::string());
    }

    // A hang or too much output: no picture. The helper is killed, then reaped.
    void fail() {
        answer({});
        if (reaped) return;
        ::kill(pid, SIGKILL);
        error_code ignored;
        output.close(ignored);
        outputEnded = true;
        if (!reaping) reap();
    }

    void answer(std::string result) {
        if (auto d = std::exchange(done, nullptr)) d(std::move(result));
    }
};

// What the picture's request holds: letting go of it kills the helper and drops its answer.
struct Holder {
    std::shared_ptr<Run> run;
    ~Holder() {
        run->done = nullptr;
        run->fail();
    }
};

}  // namespace

std::string MetafileHelper::besideThisProgram() {
    std::error_code ignored;
    return (std::filesystem::canonical("/proc/self/exe", ignored).parent_path() /
            "velmora-metafile")
        .string();
}

bool MetafileHelper::handles(std::string_view head) const {
    if (!platform::isWmf(head) && !platform::isEmf(head)) return false;
    return ::access(helper_.c_str(), X_OK) == 0;
}

std::shared_ptr<void> MetafileHelper::convert(const std::string& path, Done done) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) return nullptr;
    const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const Limits limits = limits_;
    const char* argv[] = {helper_.c_str(), path.c_str(), nullptr};
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Between fork and exec: only system calls.
        ::dup2(nothing, 0);
        ::dup2(pipe[1], 1);
        ::dup2(nothing, 2);
        limit(RLIMIT_CPU, rlim_t(limits.cpuSeconds), rlim_t(limits.cpuSeconds + 1));
        if (!qt::kAddressSanitizer)
            limit(RLIMIT_AS, rlim_t(limits.memoryBytes), rlim_t(limits.memoryBytes));
        limit(RLIMIT_FSIZE, 0, 0);  // it writes no file, only its standard output
        limit(RLIMIT_CORE, 0, 0);   // a crash is an answer, not a core file
        ::execv(argv[0], const_cast<char* const*>(argv));
        ::_exit(127);
    }
    ::close(pipe[1]);
    ::close(nothing);
    if (pid < 0) {
        ::close(pipe[0]);
        return nullptr;
    }
    auto run = std::make_shared<Run>(io_, pipe[0], pid, std::move(done), limits.outputBytes);
    run->start(limits.wallMs);
    auto holder = std::make_shared<Holder>();
    holder->run = std::move(run);
    return holder;
}

}  // namespace velmora::web
