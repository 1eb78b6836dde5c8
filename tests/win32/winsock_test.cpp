// SPDX-License-Identifier: MIT
// Winsock streams against a listener of the test's own on loopback: every event arrives from the
// message loop, never inside a call, and writes made while connecting leave once connected.
#include <gtest/gtest.h>

#include "platform/win32/winsock_network.h"
#include "ui_harness.h"

namespace velmora::win32 {
namespace {

using testing::pumpUntil;
using testing::sharedUi;

struct Recorder final : platform::SocketEvents {
    int connects = 0;
    int disconnects = 0;
    std::string data;
    void connected() override { ++connects; }
    void received(std::string_view bytes) override { data.append(bytes); }
    void disconnected() override { ++disconnects; }
};

// A blocking listener on 127.0.0.1 at a port the system picked.
struct Listener {
    SOCKET socket = INVALID_SOCKET;
    std::uint16_t port = 0;
    SOCKET peer = INVALID_SOCKET;

    Listener() {
        socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        listen(socket, 4);
    }
    ~Listener() {
        if (peer != INVALID_SOCKET) closesocket(peer);
        closesocket(socket);
    }
    void accept() {
        peer = ::accept(socket, nullptr, nullptr);
        DWORD ms = 5000;
        setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    }
    std::string read(size_t bytes) {
        std::string got;
        char buffer[4096];
        while (got.size() < bytes) {
            const int n = recv(peer, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
};

struct Winsock : ::testing::Test {
    WinsockNetwork network{sharedUi()};
    Recorder events;
    std::unique_ptr<platform::StreamSocket> socket = network.createSocket(events);
};

TEST_F(Winsock, ConnectsWritesReceivesAndHearsThePeerLeave) {
    Listener service;
    socket->connectTo("127.0.0.1", service.port);
    socket->write("hello\n");  // while connecting: kept until connected
    EXPECT_EQ(events.connects, 0) << "events come from the loop, not from the call";
    ASSERT_TRUE(pumpUntil([&] { return events.connects == 1; }));
    service.accept();
    EXPECT_EQ(service.read(6), "hello\n");
    EXPECT_EQ(socket->pendingBytes(), 0u);

    socket->write("second line\n");
    EXPECT_EQ(service.read(12), "second line\n");
    const std::string big(300000, 'z');  // more than the system takes at once
    socket->write(big);
    EXPECT_EQ(service.read(big.size()).size(), big.size());
    ASSERT_TRUE(pumpUntil([&] { return socket->pendingBytes() == 0; }));

    send(service.peer, "MSG cdjr time[0:01]\n", 20, 0);
    ASSERT_TRUE(pumpUntil([&] { return events.data.size() == 20; }));
    EXPECT_EQ(events.data, "MSG cdjr time[0:01]\n");

    closesocket(service.peer);
    service.peer = INVALID_SOCKET;
    ASSERT_TRUE(pumpUntil([&] { return events.disconnects == 1; }));
    EXPECT_EQ(events.connects, 1);
}

TEST_F(Winsock, RefusedConnectionIsReportedLaterAndTheSocketCanTryAgain) {
    std::uint16_t closedPort = 0;
    {
        Listener gone;
        closedPort = gone.port;
    }
    socket->connectTo("127.0.0.1", closedPort);
    EXPECT_EQ(events.disconnects, 0);
    ASSERT_TRUE(pumpUntil([&] { return events.disconnects == 1; }));
    EXPECT_EQ(events.connects, 0);

    Listener service;
    socket->connectTo("127.0.0.1", service.port);
    ASSERT_TRUE(pumpUntil([&] { return events.connects == 1; }));
    testing::pumpFor(50);
    EXPECT_EQ(events.disconnects, 1);
}

TEST_F(Winsock, HostNameIsLookedUpWithoutWaiting) {
    Listener service;
    socket->connectTo("localhost", service.port);
    socket->write("hello\n");
    EXPECT_EQ(events.connects + events.disconnects, 0);
    ASSERT_TRUE(pumpUntil([&] { return events.connects == 1; }, 20000));
    service.accept();
    EXPECT_EQ(service.read(6), "hello\n");
}

TEST_F(Winsock, UnknownHostIsReportedLater) {
    socket->connectTo("no-such-host.invalid", 47321);
    EXPECT_EQ(events.disconnects, 0);
    ASSERT_TRUE(pumpUntil([&] { return events.disconnects == 1; }, 20000));
}

TEST_F(Winsock, CloseSilencesTheSocket) {
    Listener service;
    socket->connectTo("127.0.0.1", service.port);
    ASSERT_TRUE(pumpUntil([&] { return events.connects == 1; }));
    service.accept();
    socket->close();
    send(service.peer, "late\n", 5, 0);
    testing::pumpFor(100);
    EXPECT_EQ(events.data, "");
    EXPECT_EQ(events.disconnects, 0);
    socket->write("after close");
    EXPECT_EQ(socket->pendingBytes(), 0u);
}

TEST_F(Winsock, FinishSendsWhatWasWrittenWhileStillConnecting) {
    Listener service;
    socket->connectTo("127.0.0.1", service.port);
    socket->write("SEND cdj notify_playing_item[off]\n");
    socket->finish(2000);  // no message loop in between
    EXPECT_EQ(socket->pendingBytes(), 0u);
    socket.reset();
    service.accept();
    EXPECT_EQ(service.read(34), "SEND cdj notify_playing_item[off]\n");
}

TEST_F(Winsock, AnEventQueuedForADestroyedSocketFindsNothing) {
    socket->connectTo("127.0.0.1", 9);  // refused: a failure is on its way
    socket.reset();
    testing::pumpFor(300);
    EXPECT_EQ(events.disconnects, 0);
}

}  // namespace
}  // namespace velmora::win32
