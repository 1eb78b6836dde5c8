// SPDX-License-Identifier: MIT
// How late a board's "time" message comes while a cover file takes 2 s to read (a stand-in for a
// share that answers slowly). The jukebox plays a one-track playlist on its own clock; every 3 s a
// player's new cover, on the slow share, is asked for on the same thread, as the MPRIS bridge asks
// at a track change. A board on loopback takes the time messages; how far each comes behind its
// second is printed. Reported, never asserted.
//   velmora-slow-cover [SECONDS [no-covers]]     (no-covers: the same without a cover asked for)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <asio/connect.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read_until.hpp>
#include <asio/steady_timer.hpp>
#include <asio/streambuf.hpp>
#include <asio/write.hpp>

#include "mpris/art_covers.h"
#include "serve/server.h"
#include "velmora/messages.h"

using namespace velmora::jukebox;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kSlowRead = 2s;
constexpr auto kNewCoverEvery = 3s;

// Connects as a board, turns the time codes on and notes when each one arrives.
std::vector<Clock::time_point> board(std::uint16_t port) {
    namespace words = velmora::link::messages;
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    socket.connect({asio::ip::make_address("127.0.0.1"), port});
    socket.set_option(asio::ip::tcp::no_delay(true));
    asio::write(socket, asio::buffer("VELMORA-LINK 1\nOPEN cdj type=devtx\nOPEN cdjr type=devrx\n"
                                     "SEND cdj " +
                                     std::string(words::kNotifyPlayingTimecodeOn) + "\n"));
    const std::string timeLine = "MSG cdjr " + std::string(words::kTimeHead);
    std::vector<Clock::time_point> arrivals;
    asio::streambuf input;
    std::error_code error;
    while (asio::read_until(socket, input, '\n', error) && !error) {
        const auto at = Clock::now();
        std::istream lines(&input);
        for (std::string line; input.size() && std::getline(lines, line);)
            if (line.starts_with(timeLine)) arrivals.push_back(at);
    }
    return arrivals;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    const bool askCovers = !(argc > 2 && std::string(argv[2]) == "no-covers");  // the floor
    const auto folder =
        std::filesystem::temp_directory_path() /
        ("velmora-slow-cover-" + std::to_string(Clock::now().time_since_epoch().count()));
    asio::io_context io;
    ServerConfig config;
    config.port = 0;
    Server server(io, Playlist{Track{"Album", "Artist", "Title", 3600, true, ""}}, config);

    std::atomic<int> reads = 0;
    mpris::ArtCovers covers(
        io, CoverFolder(folder, "", 64 << 20), [] {},
        [&](const std::filesystem::path&) -> std::optional<std::string> {
            ++reads;
            std::this_thread::sleep_for(kSlowRead);
            return std::string("\x89PNG\r\n\x1A\n0000");
        });
    int track = 0;
    asio::steady_timer nextTrack(io);
    std::function<void()> changeTrack = [&] {
        covers.pictureFor("file:///share/cover-" + std::to_string(++track) + ".png", "player");
        nextTrack.expires_after(kNewCoverEvery);
        nextTrack.async_wait([&](const std::error_code& error) {
            if (!error) changeTrack();
        });
    };
    nextTrack.expires_after(500ms);
    nextTrack.async_wait([&](const std::error_code& error) {
        if (!error && askCovers) changeTrack();
    });
    asio::steady_timer end(io, std::chrono::seconds(seconds));
    end.async_wait([&](const std::error_code&) {
        nextTrack.cancel();
        server.stop();
    });

    std::vector<Clock::time_point> arrivals;
    std::thread boardThread([&, port = server.endpoint().port()] { arrivals = board(port); });
    io.run();
    boardThread.join();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);

    // The first time message answers the board's request; the ones after it come each second
    // of the clock. Each is measured against that schedule, from the one most on time.
    if (arrivals.size() < 3) return std::printf("too few time messages\n"), 1;
    std::vector<double> behind;
    for (std::size_t i = 1; i < arrivals.size(); ++i)
        behind.push_back(std::chrono::duration<double, std::milli>(arrivals[i] - arrivals[1] -
                                                                   std::chrono::seconds(i - 1))
                             .count());
    double longestGap = 0;
    for (std::size_t i = 2; i < arrivals.size(); ++i)
        longestGap = std::max(
            longestGap,
            std::chrono::duration<double, std::milli>(arrivals[i] - arrivals[i - 1]).count());
    const double onTime = *std::min_element(behind.begin(), behind.end());
    for (double& late : behind) late -= onTime;
    std::sort(behind.begin(), behind.end());
    std::printf("%d s, %zu time messages, %d cover reads of %lld ms each started\n", seconds,
                arrivals.size(), reads.load(),
                static_cast<long long>(std::chrono::milliseconds(kSlowRead).count()));
    std::printf("time messages behind their second: median %.1f ms, worst %.1f ms\n",
                behind[behind.size() / 2], behind.back());
    std::printf("longest gap between two time messages: %.1f ms\n", longestGap);
    return 0;
}
