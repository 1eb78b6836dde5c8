// SPDX-License-Identifier: MIT
// The stream socket on QTcpSocket against a real loopback peer.
#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>

#include "platform/qt/qt_network.h"
#include "qt_test_util.h"

namespace velmora::qt {
namespace {

using test::waitUntil;

struct Events final : platform::SocketEvents {
    std::vector<std::string> seen;  // "connected", "bytes <text>", "disconnected"
    std::string bytes;
    bool inCall = false;  // set by a test around its own socket calls
    bool calledBack = false;
    std::function<void()> onDisconnected;
    void connected() override { note("connected"); }
    void received(std::string_view b) override {
        bytes.append(b);
        note("bytes");
    }
    void disconnected() override {
        note("disconnected");
        if (onDisconnected) onDisconnected();
    }
    void note(std::string what) {
        if (inCall) calledBack = true;
        if (seen.empty() || seen.back() != what) seen.push_back(std::move(what));
    }
};

// A loopback peer that keeps what it read.
struct Peer {
    QTcpServer server;
    QTcpSocket* client = nullptr;
    QByteArray got;
    Peer() {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            client = server.nextPendingConnection();
            QObject::connect(client, &QTcpSocket::readyRead, [this] { got += client->readAll(); });
        });
    }
    std::uint16_t port() const { return server.serverPort(); }
};

// A port with nobody listening on it.
std::uint16_t closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();  // closed again when server goes
}

TEST(Socket, WritesMadeWhileConnectingLeaveInOrderOnceConnected) {
    Peer peer;
    Events events;
    QtStreamSocket socket(events);
    events.inCall = true;
    socket.connectTo("127.0.0.1", peer.port());
    socket.write("VELMORA-LINK 1\n");
    socket.write("OPEN cdj type=devtx\n");
    EXPECT_EQ(socket.pendingBytes(), 35u);
    events.inCall = false;
    EXPECT_FALSE(events.calledBack) << "no event inside a call";

    ASSERT_TRUE(waitUntil([&] { return peer.got.size() == 35; }));
    EXPECT_EQ(peer.got, "VELMORA-LINK 1\nOPEN cdj type=devtx\n");
    EXPECT_EQ(events.seen, std::vector<std::string>{"connected"});
    socket.write("SEND cdj echo[cdjon]\n");
    ASSERT_TRUE(waitUntil([&] { return peer.got.endsWith("echo[cdjon]\n"); }));
    EXPECT_EQ(socket.pendingBytes(), 0u);
}

TEST(Socket, PeerDataThenItsCloseArriveInOrder) {
    Peer peer;
    Events events;
    QtStreamSocket socket(events);
    socket.connectTo("127.0.0.1", peer.port());
    ASSERT_TRUE(waitUntil([&] { return peer.client && !events.seen.empty(); }));
    peer.client->write("VELMORA-LINK 1 jukebox\nMSG cdjr time 0:0");  // closes mid-line
    peer.client->flush();
    peer.client->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return events.seen.back() == "disconnected"; }));
    EXPECT_EQ(events.bytes, "VELMORA-LINK 1 jukebox\nMSG cdjr time 0:0");
    const std::vector<std::string> expected = {"connected", "bytes", "disconnected"};
    EXPECT_EQ(events.seen, expected);
}

TEST(Socket, RefusedConnectIsToldLaterAndCanBeRetried) {
    Events events;
    QtStreamSocket socket(events);
    const std::uint16_t port = closedPort();
    events.inCall = true;
    socket.connectTo("127.0.0.1", port);
    socket.write("VELMORA-LINK 1\n");
    events.inCall = false;
    ASSERT_TRUE(waitUntil([&] { return !events.seen.empty(); }));
    EXPECT_FALSE(events.calledBack);
    EXPECT_EQ(events.seen, std::vector<std::string>{"disconnected"});

    Peer peer;
    socket.connectTo("127.0.0.1", peer.port());
    socket.write("again\n");
    ASSERT_TRUE(waitUntil([&] { return peer.got == "again\n"; }));
    EXPECT_EQ(events.seen.back(), "connected");
}

TEST(Socket, UnknownHostIsToldLater) {
    Events events;
    QtStreamSocket socket(events);
    events.inCall = true;
    socket.connectTo("no-such-host.invalid", 47321);
    events.inCall = false;
    ASSERT_TRUE(waitUntil([&] { return !events.seen.empty(); }, 10000));
    EXPECT_FALSE(events.calledBack);
    EXPECT_EQ(events.seen, std::vector<std::string>{"disconnected"});
}

TEST(Socket, CloseIsSilentAndDropsWhatWasWaiting) {
    Peer peer;
    Events events;
    QtStreamSocket socket(events);
    socket.connectTo("127.0.0.1", peer.port());
    ASSERT_TRUE(waitUntil([&] { return peer.client && !events.seen.empty(); }));
    events.inCall = true;
    socket.close();
    events.inCall = false;
    EXPECT_EQ(socket.pendingBytes(), 0u);
    test::spin(50);
    EXPECT_FALSE(events.calledBack);
    EXPECT_EQ(events.seen, std::vector<std::string>{"connected"});
}

// On the way out: a connect still under way completes and what was written leaves.
TEST(Socket, FinishWaitsForTheConnectAndTheWrites) {
    Peer peer;
    Events events;
    auto socket = std::make_unique<QtStreamSocket>(events);
    socket->connectTo("127.0.0.1", peer.port());
    const std::string big(20 * 1024, 'x');
    socket->write("CLOSE cdjr\n");
    socket->write(big);
    socket->finish(300);
    EXPECT_EQ(socket->pendingBytes(), 0u);
    socket.reset();
    ASSERT_TRUE(waitUntil([&] { return std::size_t(peer.got.size()) == 11 + big.size(); }));
    EXPECT_TRUE(peer.got.startsWith("CLOSE cdjr\n"));
    EXPECT_TRUE(events.seen.empty()) << "nobody listens once the socket is finishing";
}

TEST(Socket, FinishGivesUpAtItsTimeout) {
    Events events;
    QtStreamSocket socket(events);
    socket.connectTo("127.0.0.1", closedPort());
    QElapsedTimer clock;
    clock.start();
    socket.finish(200);
    EXPECT_LT(clock.elapsed(), 1000);
}

// The core may let go of the socket from inside one of its events.
TEST(Socket, CanBeDestroyedFromItsOwnEvent) {
    Peer peer;
    Events events;
    auto socket = std::make_unique<QtStreamSocket>(events);
    events.onDisconnected = [&] { socket.reset(); };
    socket->connectTo("127.0.0.1", peer.port());
    ASSERT_TRUE(waitUntil([&] { return peer.client != nullptr; }));
    peer.client->write("bye\n");
    peer.client->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return socket == nullptr; }));
    test::spin(20);
    EXPECT_EQ(events.bytes, "bye\n");
}

}  // namespace
}  // namespace velmora::qt
