// SPDX-License-Identifier: MIT
// The real velmora-jukebox program: spawned with its command line, spoken to over loopback,
// stopped with a signal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "board_fields.h"
#include "loopback_client.h"
#include "temp_folder.h"

extern char** environ;

namespace velmora::jukebox {
namespace {

using testing::LoopbackClient;
using namespace std::chrono_literals;
using testing::TempFolder;

// The program running with a command line, its output read through pipes.
class Program {
  public:
    Program(const std::vector<std::string>& args, const std::string& cacheHome) {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);

        std::vector<std::string> words{JUKEBOX_PROGRAM};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        // No session bus either, and no system bus whatever the machine has: the program runs as
        // a service outside a desktop session.
        std::vector<std::string> variables{
            "XDG_CACHE_HOME=" + cacheHome,
            "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + cacheHome + "/no-system-bus"};
        for (char** variable = environ; *variable; ++variable) {
            const std::string_view text = *variable;
            if (!text.starts_with("XDG_CACHE_HOME=") && !text.starts_with("XDG_RUNTIME_DIR=") &&
                !text.starts_with("DBUS_SESSION_BUS_ADDRESS=") &&
                !text.starts_with("DBUS_SYSTEM_BUS_ADDRESS="))
                variables.emplace_back(*variable);
        }
        std::vector<char*> envp;
        for (auto& variable : variables) envp.push_back(variable.data());
        envp.push_back(nullptr);

        const int failed =
            posix_spawn(&pid_, JUKEBOX_PROGRAM, &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
        if (failed) throw std::runtime_error("cannot start " JUKEBOX_PROGRAM);
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
        close(err_);
    }

    // The next line of standard output, or nothing after `timeout`.
    std::optional<std::string> outputLine(std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (outText_.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd poller{out_, POLLIN, 0};
            if (left.count() <= 0 || poll(&poller, 1, static_cast<int>(left.count())) <= 0)
                return std::nullopt;
            char chunk[512];
            const auto bytes = read(out_, chunk, sizeof chunk);
            if (bytes <= 0) return std::nullopt;
            outText_.append(chunk, static_cast<std::size_t>(bytes));
        }
        const auto end = outText_.find('\n');
        std::string line = outText_.substr(0, end);
        outText_.erase(0, end + 1);
        return line;
    }

    // Waits for the end (sending `signal` first, if any): the exit status, and everything the
    // program wrote to standard output and error that was not read yet. Both pipes are drained
    // together, so a program with much to say on one of them cannot stall; one that has not
    // ended after `timeout` is killed.
    int finish(int signal = 0, std::string* output = nullptr,
               std::chrono::milliseconds timeout = 20s) {
        if (signal) kill(pid_, signal);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string text = outText_;
        pollfd pipes[] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        while (pipes[0].fd >= 0 || pipes[1].fd >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || poll(pipes, 2, static_cast<int>(left.count())) <= 0) {
                kill(pid_, SIGKILL);
                text +=
                    "\n(killed: still running after " + std::to_string(timeout.count()) + " ms)";
                break;
            }
            for (pollfd& pipe : pipes) {
                if (pipe.fd < 0 || !pipe.revents) continue;
                char chunk[512];
                const auto bytes = read(pipe.fd, chunk, sizeof chunk);
                if (bytes <= 0)
                    pipe.fd = -1;  // poll skips it from now on
                else
                    text.append(chunk, static_cast<std::size_t>(bytes));
            }
        }
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        if (output) *output = text;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string outText_;
};

std::uint16_t listeningPort(Program& program) {
    const auto line = program.outputLine();
    std::smatch match;
    if (!line ||
        !std::regex_search(*line, match, std::regex("listening on 127\\.0\\.0\\.1:(\\d+)")))
        throw std::runtime_error("no listening line: " + line.value_or("(none)"));
    return static_cast<std::uint16_t>(std::stoi(match[1]));
}

TEST(Program, DemoServesABoardAndStopsCleanlyOnASignal) {
    for (const int signal : {SIGTERM, SIGINT}) {
        TempFolder folder;
        const auto transcript = folder.path() / "transcript.log";
        Program program(
            {"--demo", "--port", "0", "--speed", "1000", "--transcript", transcript.string()},
            folder.path().string());
        const std::uint16_t port = listeningPort(program);

        asio::io_context io;
        LoopbackClient board(io, port);
        ASSERT_EQ(board.readLine(), "VELMORA-LINK 1 velmora-jukebox demo");
        board.write(
            "VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n"
            "SEND cdj notify_playing_item[on]\n");
        const auto playing = board.readLineStarting("MSG cdjr playing[");
        ASSERT_TRUE(playing);
        const auto fields = testing::boardFields(playing->substr(9));
        ASSERT_TRUE(fields) << *playing;
        const std::string& picture = (*fields)[4];
        EXPECT_TRUE(picture.starts_with((folder.path() / "velmora-jukebox").string())) << picture;
        std::ifstream cover(picture, std::ios::binary);
        char magic[2] = {};
        cover.read(magic, 2);
        EXPECT_EQ(std::string(magic, 2), "BM") << picture;

        // The transcript can be followed while the service runs.
        std::ifstream log(transcript);
        std::string all{std::istreambuf_iterator<char>(log), {}};
        const auto asked = all.find("#1 < SEND cdj notify_playing_item[on]");
        EXPECT_NE(asked, std::string::npos) << all;
        EXPECT_NE(all.find("#1 > MSG cdjr playing[", asked), std::string::npos) << all;

        std::string output;
        EXPECT_EQ(program.finish(signal, &output), 0) << output;
        EXPECT_NE(output.find("velmora-jukebox: stopped"), std::string::npos) << output;
        EXPECT_TRUE(board.hungUp());
    }
}

TEST(Program, CommandLineMistakesEndWithAMessage) {
    TempFolder folder;
    const auto busy = [&] {
        static asio::io_context io;
        static asio::ip::tcp::acceptor holder(io, {asio::ip::make_address("127.0.0.1"), 0});
        return std::to_string(holder.local_endpoint().port());
    }();
    folder.write("empty.m3u", "#EXTM3U\n");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--help"}, 0, "Usage: velmora-jukebox"},
        {{}, 2, "velmora-jukebox: choose --demo, --playlist FILE, --mpd [HOST[:PORT]] or --mpris"},
        {{"--mpris"}, 2, "no system bus: No such file or directory, no session bus"},
        {{"--mpd", "host:99999"}, 2, "MPD port must be a number from 1 to 65535"},
        {{"--demo", "--speed", "fast"}, 2, "--speed needs a number"},
        {{"--playlist", (folder.path() / "none.m3u").string()}, 1, "none.m3u' does not exist"},
        {{"--playlist", (folder.path() / "empty.m3u").string()}, 1, "has no entries"},
        {{"--demo", "--port", busy}, 1, "velmora-jukebox: "},
    };
    for (const auto& [args, status, message] : cases) {
        Program program(args, folder.path().string());
        std::string output;
        EXPECT_EQ(program.finish(0, &output), status) << output;
        EXPECT_NE(output.find(message), std::string::npos) << output;
    }
}

}  // namespace
}  // namespace velmora::jukebox
