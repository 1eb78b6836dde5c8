// SPDX-License-Identifier: MIT
// The bridge against a stand-in MPD on loopback that answers badly before it answers well.
#include "mpd/mpd_bridge.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <asio/read_until.hpp>
#include <asio/streambuf.hpp>
#include <asio/write.hpp>

#include "loopback_client.h"
#include "serve/server.h"
#include "temp_folder.h"

namespace velmora::jukebox {
namespace {

using namespace std::chrono_literals;
using asio::ip::tcp;

struct Counter final : NowPlayingListener {
    void trackStarted() override { ++tracks; }
    void secondPassed() override { ++seconds; }
    int tracks = 0, seconds = 0;
};

// Serves one scripted connection after another: each maps a command to its raw answer.
class StandInMpd {
  public:
    using Script = std::function<std::string(const std::string& command)>;

    StandInMpd(asio::io_context& io, std::vector<Script> scripts)
        : acceptor_(io, {asio::ip::make_address("127.0.0.1"), 0}), scripts_(std::move(scripts)) {
        accept();
    }
    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }
    std::size_t connections = 0;
    std::vector<std::string> commands;  // of every connection, as received

  private:
    struct Session {
        Session(tcp::socket s, Script sc) : socket(std::move(s)), script(std::move(sc)) {}
        tcp::socket socket;
        asio::streambuf input;
        Script script;
        bool idling = false;
    };
    void accept() {
        acceptor_.async_accept([this](const std::error_code& error, tcp::socket socket) {
            if (error) return;
            auto session = std::make_shared<Session>(
                std::move(socket), scripts_[std::min(connections, scripts_.size() - 1)]);
            ++connections;
            asio::write(session->socket, asio::buffer(std::string("OK MPD 0.23.5\n")));
            serve(session);
            accept();
        });
    }
    void serve(std::shared_ptr<Session> session) {
        asio::async_read_until(session->socket, session->input, '\n',
                               [this, session](const std::error_code& error, std::size_t bytes) {
                                   if (error) return;
                                   std::string command(bytes - 1, '\0');
                                   session->input.sgetn(command.data(), bytes - 1);
                                   session->input.consume(1);
                                   commands.push_back(command);
                                   // As MPD does, noidle outside idle gets no answer at all.
                                   if (command == "noidle" && !session->idling)
                                       return serve(session);
                                   const std::string answer = session->script(command);
                                   session->idling = command.starts_with("idle") && answer.empty();
                                   std::error_code ignored;
                                   if (!answer.empty())
                                       asio::write(session->socket, asio::buffer(answer), ignored);
                                   serve(session);
                               });
    }

    tcp::acceptor acceptor_;
    std::vector<Script> scripts_;
};

std::string good(const std::string& command) {
    if (command == "status")
        return "state: play\nsong: 0\nelapsed: 3.5\nplaylistlength: 1\nplaylist: 2\nOK\n";
    if (command.starts_with("playlistinfo"))
        return "file: a/b.flac\nTitle: \xC3\x9C"
               "ber \"Caf\xC3\xA9\"\nduration: 61.2\nPos: 0\nOK\n";
    if (command.starts_with("idle")) return "";  // nothing changes
    if (command.starts_with("albumart") || command.starts_with("readpicture"))
        return "size: 999999999\nbinary: 4\nJPEG\nOK\n";  // lies: refused
    return "OK\n";
}

TEST(MpdBridge, HostileAnswersCostTheirConnectionThenTheBridgeFollowsMpd) {
    asio::io_context io;
    const std::vector<StandInMpd::Script> scripts = {
        [](const std::string&) { return std::string(100 * 1024, 'x'); },          // endless line
        [](const std::string&) { return std::string("binary: 10\nabc\nOK\n"); },  // short chunk
        [](const std::string&) { return std::string("\x01\x02 garbage\n"); },
        [](const std::string& c) {
            return c == "status" ? std::string("binary: 99999999999\n") : "";
        },
        good,
    };
    StandInMpd mpd(io, scripts);
    testing::TempFolder covers;
    MpdBridgeConfig config;
    config.address.host = "127.0.0.1";
    config.address.port = mpd.port();
    config.coverFolder = covers.path();
    std::vector<std::string> log;
    MpdBridge bridge(io, config, [&](const std::string& line) { log.push_back(line); });
    Counter counter;
    bridge.start(counter);

    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!bridge.playingTrack() && std::chrono::steady_clock::now() < deadline) io.run_for(20ms);
    ASSERT_NE(bridge.playingTrack(), nullptr);
    EXPECT_GE(mpd.connections, 5u);
    EXPECT_EQ(bridge.playingTrack()->title,
              "\xC3\x9C"
              "ber \"Caf\xC3\xA9\"");  // as MPD sent it
    EXPECT_EQ(bridge.playingTrack()->seconds, 61);
    EXPECT_EQ(bridge.playingTrack()->picture, "");  // the lying cover was refused
    EXPECT_EQ(bridge.playingSeconds(), 3);
    EXPECT_EQ(bridge.entryAt(2).track, nullptr);  // no next song: the blanking entry
    EXPECT_GE(counter.tracks, 2);                 // blank while MPD misbehaved, then the song
    bool lineLogged = false;
    for (const std::string& line : log) lineLogged |= line.find("line longer") != std::string::npos;
    EXPECT_TRUE(lineLogged);
    bridge.stop();
}

// Each stand-in stalls where an answer is owed, or goes silent while the bridge idles; the
// connection after it answers everything.
TEST(MpdBridge, AnMpdThatStallsIsDroppedAndTheBoardFollowsItAgain) {
    const auto cover = [](std::size_t bytes) -> StandInMpd::Script {  // a PNG's answer, maybe cut
        return [bytes](const std::string& c) {
            const std::string answer = "size: 16\nbinary: 16\n\x89PNG\r\n\x1A\nIHDR0000\nOK\n";
            return c.starts_with("albumart") ? answer.substr(0, bytes) : good(c);
        };
    };
    const struct {
        std::string password;
        std::vector<StandInMpd::Script> scripts;
        const char* shown;  // in the board's playing message at last
    } stalls[] = {
        {"", {[](const std::string& c) { return c == "status" ? good(c) : ""; }, good}, "1:01"},
        {"pw",
         {[](const std::string& c) { return c.starts_with("pass") ? "" : good(c); }, good},
         "1:01"},
        {"", {cover(99), cover(25), cover(99)}, ".png"},  // control, cut cover, cover
        // Half-open while the bridge idles: stopped, then silent, even to noidle.
        {"",
         {[](const std::string& c) {
              if (c == "status") return std::string("state: stop\nplaylistlength: 0\nOK\n");
              return c.starts_with("idle") || c == "noidle" ? std::string() : good(c);
          },
          good},
         "1:01"}};
    for (const auto& stall : stalls) {
        SCOPED_TRACE(&stall - stalls);
        asio::io_context io;
        StandInMpd mpd(io, stall.scripts);
        testing::TempFolder covers;
        std::string log, shown;
        const MpdBridgeConfig config{{stall.password, "127.0.0.1", mpd.port()},
                                     covers.path(),
                                     "",
                                     1 << 20,
                                     true,
                                     200ms,
                                     200ms};
        MpdBridge bridge(io, config, [&](const std::string& line) { log += line + "\n"; });
        ServerConfig serverConfig;
        serverConfig.port = 0;
        Server server(io, bridge, serverConfig);
        bridge.start(server);
        testing::LoopbackClient board(io, server.endpoint().port());
        board.write(
            "VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n"
            "SEND cdj notify_playing_item[on]\n");
        for (const auto until = std::chrono::steady_clock::now() + 5s;
             shown.find(stall.shown) == std::string::npos &&
             std::chrono::steady_clock::now() < until;)
            shown = board.readLineStarting("MSG cdjr playing[", 500ms).value_or("");
        EXPECT_NE(shown.find(stall.shown), std::string::npos) << log;
        EXPECT_GE(mpd.connections, stall.scripts.size());
        EXPECT_NE(log.find("did not answer in time"), std::string::npos) << log;
    }
}

// A healthy MPD answers each idle check at once with nothing changed: the bridge keeps its
// connection and goes back to idle without reading the queue again.
TEST(MpdBridge, IdleChecksKeepAHealthyMpdsConnection) {
    asio::io_context io;
    StandInMpd mpd(io, {good});
    testing::TempFolder covers;
    const MpdBridgeConfig config{
        {"", "127.0.0.1", mpd.port()}, covers.path(), "", 1 << 20, false, 200ms, 50ms};
    std::string log;
    MpdBridge bridge(io, config, [&](const std::string& line) { log += line + "\n"; });
    Counter counter;
    bridge.start(counter);
    const auto asked = [&](const char* command) {
        return std::count(mpd.commands.begin(), mpd.commands.end(), command);
    };
    for (const auto until = std::chrono::steady_clock::now() + 5s;
         asked("noidle") < 3 && std::chrono::steady_clock::now() < until;)
        io.run_for(20ms);
    EXPECT_GE(asked("noidle"), 3) << log;
    EXPECT_EQ(mpd.connections, 1u) << log;
    EXPECT_EQ(asked("status"), 1) << log;
    ASSERT_NE(bridge.playingTrack(), nullptr);
    bridge.stop();
}

}  // namespace
}  // namespace velmora::jukebox
