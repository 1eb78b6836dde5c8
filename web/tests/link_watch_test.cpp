// SPDX-License-Identifier: MIT
// Whether the pages are told the jukebox is there: a connection that is up and heard from. A
// service that is connected but says nothing any more is away; one that speaks again is back; one
// that hangs up is away at once. A real socket on loopback, a stand-in service on the same loop.
#include <gtest/gtest.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <vector>

#include "backend/asio_socket.h"

namespace velmora::web {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;

struct Events : platform::SocketEvents {
    std::string bytes;
    int connects = 0;
    int disconnects = 0;
    void connected() override { ++connects; }
    void received(std::string_view bytes) override { this->bytes.append(bytes); }
    void disconnected() override { ++disconnects; }
};

TEST(LinkWatch, TheJukeboxIsAwayWhenSilentOrGoneAndBackWhenItSpeaks) {
    asio::io_context io;
    tcp::acceptor service(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    std::vector<bool> told;
    AsioNetwork network(
        io, [&](bool up) { told.push_back(up); }, 100ms);
    Events events;
    auto socket = network.createSocket(events);
    socket->connectTo("127.0.0.1", service.local_endpoint().port());
    tcp::socket peer(io);
    service.async_accept(peer, [](const boost::system::error_code&) {});
    while (!events.connects || !peer.is_open()) io.run_one();
    EXPECT_EQ(told, std::vector<bool>{true});
    socket->write("VELMORA-LINK 1\n");

    // Connected, and nothing heard for longer than the silence allowed: away.
    while (told.size() < 2) io.run_one();
    EXPECT_EQ(told, (std::vector<bool>{true, false}));

    // It speaks again: back.
    asio::write(peer, asio::buffer(std::string("MSG cdjr echo[cdjon]\n")));
    while (told.size() < 3) io.run_one();
    EXPECT_EQ(told.back(), true);
    EXPECT_EQ(events.bytes, "MSG cdjr echo[cdjon]\n");

    // It hangs up: away at once, and the board hears of the loss.
    peer.close();
    while (told.size() < 4 || !events.disconnects) io.run_one();
    EXPECT_EQ(told, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(events.disconnects, 1);
    EXPECT_FALSE(network.linkUp());
}

}  // namespace
}  // namespace velmora::web
