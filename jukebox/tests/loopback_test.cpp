// SPDX-License-Identifier: MIT
// The service in this process and boards over loopback, all on one io_context.
#include <gtest/gtest.h>

#include <fstream>

#include "board_fields.h"
#include "common/messages.h"
#include "loopback_client.h"
#include "serve/server.h"
#include "serve/transcript.h"
#include "temp_folder.h"

namespace velmora::jukebox {
namespace {

using testing::LoopbackClient;
using namespace std::chrono_literals;

Playlist discs() {
    return {Track{"Night Ferry", "The Lantern Choir", "Paper Boats", 3, true, "/c/1.bmp"},
            Track{"Long Distance", "Marlow & Finch", "Copper", 2, true, "/c/2.bmp"},
            Track{"Tidal Maps", "Kestrel Bay", "Undertow", 4, true, ""}};
}

class Loopback : public ::testing::Test {
  protected:
    explicit Loopback(double speed = 1.0, std::size_t maxBacklog = 1 << 20,
                      std::size_t maxClients = 64)
        : server(io, discs(), config(speed, maxBacklog, maxClients)) {}

    static ServerConfig config(double speed, std::size_t maxBacklog, std::size_t maxClients) {
        ServerConfig config;
        config.maxClients = maxClients;
        config.greetingTimeout = 300ms;
        config.port = 0;
        config.speed = speed;
        config.maxBacklogBytes = maxBacklog;
        config.description = "test jukebox";
        return config;
    }
    std::uint16_t port() const { return server.endpoint().port(); }

    // Connects, checks the greeting, and opens the board's two endpoints.
    std::unique_ptr<LoopbackClient> board() {
        auto client = std::make_unique<LoopbackClient>(io, port());
        EXPECT_EQ(client->readLine(), "VELMORA-LINK 1 test jukebox");
        client->write("VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n");
        return client;
    }
    // Lets the service run until it serves `count` clients (or two seconds pass).
    void waitForClients(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (server.clients() != count && std::chrono::steady_clock::now() < deadline)
            io.run_one_for(5ms);
    }

    asio::io_context io;
    Server server;
};

TEST_F(Loopback, ABoardsConversation) {
    auto client = board();
    client->write(
        "SEND cdj notify_playing_item[on]\nSEND cdj notify_playing_timecode[on]\n"
        "SEND cdj echo[cdjon]\nSEND cdj playlist_getpointer\nSEND cdj playlist_getitem[2]\n"
        "SEND cdj playlist_getitem[4]\n");
    EXPECT_EQ(
        client->readLine(),
        R"(MSG cdjr playing["Night Ferry","The Lantern Choir","Paper Boats","0:03","/c/1.bmp","1","1"])");
    EXPECT_EQ(client->readLine(), "MSG cdjr time[0:00]");
    EXPECT_EQ(client->readLine(), "MSG cdjr echo[cdjon]");
    EXPECT_EQ(client->readLine(), "MSG cdjr playlist_pointer[1]");
    const auto item = client->readLine();
    ASSERT_TRUE(item);
    const auto fields = testing::boardFields(item->substr(9));
    ASSERT_TRUE(fields) << *item;
    EXPECT_EQ(*fields, (std::vector<std::string>{"2", "Long Distance", "Marlow & Finch", "Copper",
                                                 "0:02", "/c/2.bmp", "2", "1"}));
    // The playlist loops: after the last entry comes the first.
    EXPECT_EQ(
        client->readLine(),
        R"(MSG cdjr playlist_item["4","Night Ferry","The Lantern Choir","Paper Boats","0:03","/c/1.bmp","1","1"])");
    // Real time: the next second of play brings the next time code.
    EXPECT_EQ(client->readLine(1500ms), "MSG cdjr time[0:01]");
}

class FastLoopback : public Loopback {
  protected:
    FastLoopback() : Loopback(1000.0) {}
};

TEST_F(FastLoopback, SeveralBoardsFollowTheTracksTogether) {
    std::vector<std::unique_ptr<LoopbackClient>> boards;
    for (int i = 0; i < 3; ++i) {
        boards.push_back(board());
        boards.back()->write("SEND cdj notify_playing_item[on]\n");
        ASSERT_TRUE(boards.back()->readLineStarting("MSG cdjr playing["));
    }
    // Every board sees the same next track change: 2 s of play is 2 ms here.
    const auto next = boards[0]->readLineStarting("MSG cdjr playing[");
    ASSERT_TRUE(next);
    for (int i = 1; i < 3; ++i) {
        std::optional<std::string> line;
        while ((line = boards[i]->readLineStarting("MSG cdjr playing[")) && *line != *next) {
        }
        EXPECT_EQ(line, next) << i;
    }
    EXPECT_EQ(server.clients(), 3u);
}

TEST_F(FastLoopback, TimeCodesCountUpAndStartOverWithEachTrack) {
    auto client = board();
    client->write("SEND cdj notify_playing_item[on]\nSEND cdj notify_playing_timecode[on]\n");
    int tracks = 0;
    int last = -1;
    while (tracks < 6) {
        const auto line = client->readLine();
        ASSERT_TRUE(line);
        if (line->starts_with("MSG cdjr playing[")) {
            ++tracks;
            last = -1;
            continue;
        }
        ASSERT_TRUE(line->starts_with("MSG cdjr time[0:0")) << *line;
        const int second = (*line)[17] - '0';
        EXPECT_GT(second, last) << *line;
        EXPECT_LT(second, 4) << *line;
        last = second;
    }
}

TEST_F(Loopback, GarbageAndOverlongLinesAreDroppedAndServingGoesOn) {
    auto client = board();
    std::string noise = "\x01\x02 garbage \xFF\xFE line\n";  // not UTF-8: dropped unanswered
    noise += std::string(20000, 'x') + "\r\n";               // over-long: dropped whole
    noise += "SEND cdj " + std::string(9000, 'y');           // over-long, in pieces
    client->write(noise);
    client->write(std::string(9000, 'z') + "\nSEND cdj echo[still here]\n");
    EXPECT_EQ(client->readLine(), "MSG cdjr echo[still here]");
    client->write("NONSENSE\n");
    EXPECT_EQ(client->readLine(), "ERROR bad line: NONSENSE");
    client->write("SEND cdj echo[crlf]\r\n");
    EXPECT_EQ(client->readLine(), "MSG cdjr echo[crlf]");

    const std::string longest = "SEND cdj echo[" + std::string(8192 - 15, 'w') + "]";
    ASSERT_EQ(longest.size(), 8192u);
    client->write(longest + "\r\n" + longest + "w\nSEND cdj echo[after]\n");
    EXPECT_EQ(client->readLine(), "MSG cdjr " + longest.substr(9));
    EXPECT_EQ(client->readLine(), "MSG cdjr echo[after]");
}

TEST_F(Loopback, BoardsThatVanishMidLineLeaveTheOthersServed) {
    auto steady = board();
    const std::string cuts[] = {
        "", "VELMORA-LINK", "VELMORA-LINK 1\nOPEN cdj type=de",
        "VELMORA-LINK 1\nOPEN cdj type=devtx\nSEND cdj echo[" + std::string(6000, 'v')};
    for (const std::string& cut : cuts) {
        LoopbackClient vanishing(io, port());
        if (!cut.empty()) vanishing.write(cut);
        vanishing.idle(5ms);
        vanishing.close();
    }
    waitForClients(1);
    EXPECT_EQ(server.clients(), 1u);
    steady->write("SEND cdj echo[cdjon]\n");
    EXPECT_EQ(steady->readLine(), "MSG cdjr echo[cdjon]");
}

TEST_F(Loopback, AnotherProtocolIsToldAndHungUpOn) {
    LoopbackClient stranger(io, port());
    EXPECT_EQ(stranger.readLine(), "VELMORA-LINK 1 test jukebox");
    stranger.write("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(stranger.readLine(), "ERROR unsupported protocol");
    EXPECT_TRUE(stranger.hungUp());
}

class CrowdedLoopback : public Loopback {
  protected:
    CrowdedLoopback() : Loopback(1.0, 1 << 20, 3) {}
};

// Connections that never greet, or dribble a byte now and then, must not keep boards out.
TEST_F(CrowdedLoopback, SilentAndSlowConnectionsAreDroppedSoBoardsGetIn) {
    LoopbackClient silent(io, port());
    LoopbackClient slow(io, port());
    LoopbackClient halfGreeted(io, port());
    halfGreeted.write("VELMORA-LINK");
    waitForClients(3);
    LoopbackClient refused(io, port());
    EXPECT_EQ(refused.readLine(), "ERROR too many connections");
    for (const char* byte : {"V", "E", "L", "M"}) {
        slow.write(byte);
        io.run_for(100ms);
    }
    waitForClients(0);
    EXPECT_EQ(server.clients(), 0u);
    auto client = board();
    waitForClients(1);
    io.run_for(500ms);  // past the greeting time: a board that greeted stays
    client->write("SEND cdj echo[cdjon]\n");
    EXPECT_EQ(client->readLine(), "MSG cdjr echo[cdjon]");
}

class TightLoopback : public Loopback {
  protected:
    TightLoopback() : Loopback(1.0, 64 * 1024) {}
};

TEST_F(TightLoopback, ABoardThatDoesNotReadIsDisconnected) {
    auto steady = board();
    LoopbackClient deaf(io, port(), 4096);
    deaf.write("VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n");
    const std::string echo = "SEND cdj echo[" + std::string(4000, 'd') + "]\n";
    std::string burst;
    for (int i = 0; i < 64; ++i) burst += echo;
    // The service must drop the deaf board long before 64 MB of answers pile up.
    for (int round = 0; round < 256 && server.clients() == 2; ++round) {
        if (!deaf.write(burst)) break;
    }
    waitForClients(1);
    EXPECT_EQ(server.clients(), 1u);
    steady->write("SEND cdj echo[cdjon]\n");
    EXPECT_EQ(steady->readLine(), "MSG cdjr echo[cdjon]");
}

TEST(LoopbackTranscript, RecordsEachAnswerAfterItsQuestion) {
    testing::TempFolder folder;
    const auto file = folder.path() / "transcript.log";
    {
        asio::io_context io;
        Transcript transcript(file);
        ServerConfig config;
        config.port = 0;
        Server server(io, discs(), config, &transcript);
        LoopbackClient client(io, server.endpoint().port());
        client.write(
            "VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n"
            "SEND cdj echo[\x1b]\nSEND cdj playlist_getpointer\n");
        ASSERT_TRUE(client.readLineStarting("MSG cdjr playlist_pointer["));
    }
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line.substr(25));
    const std::vector<std::string> expected = {"#1 > VELMORA-LINK 1 velmora-jukebox",
                                               "#1 < VELMORA-LINK 1",
                                               "#1 < OPEN cdj type=devtx",
                                               "#1 < OPEN cdjr type=devrx",
                                               "#1 < SEND cdj echo[\\x1B]",
                                               "#1 > MSG cdjr echo[\\x1B]",
                                               "#1 < SEND cdj playlist_getpointer",
                                               "#1 > MSG cdjr playlist_pointer[1]",
                                               "#1 * closed: service stopping"};
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(lines[0].starts_with("#1 * connected from 127.0.0.1:")) << lines[0];
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), expected);
}

}  // namespace
}  // namespace velmora::jukebox

namespace velmora::jukebox {
namespace {

// Stopping must leave nothing to run, however the clock's and the stopper's wake-ups fall.
TEST(LoopbackStop, StoppingLetsTheServiceEndAtAnyMoment) {
    for (int attempt = 0; attempt < 40; ++attempt) {
        asio::io_context io;
        ServerConfig config;
        config.port = 0;
        config.speed = 1e6;
        Server server(io, discs(), config);
        LoopbackClient client(io, server.endpoint().port());
        client.write(
            "VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n"
            "SEND cdj notify_playing_timecode[on]\n");
        asio::steady_timer stopper(io, std::chrono::microseconds(500 + 97 * attempt));
        stopper.async_wait([&](const std::error_code&) {
            server.stop();
            client.close();
        });
        const auto start = std::chrono::steady_clock::now();
        io.run_for(2s);
        ASSERT_TRUE(io.stopped()) << "still running after stop, attempt " << attempt;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    }
}

}  // namespace
}  // namespace velmora::jukebox
