// SPDX-License-Identifier: MIT
// The HTTP server's bounds on real loopback connections: what each refusal looks like, the cap on
// open pages, a client that never finishes its request, a page that never reads. The server runs
// on this thread's loop; each client is a blocking socket on a thread of its own.
#include "server/http_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <future>
#include <thread>

#include "server/page_files.h"

namespace velmora::web {
namespace {

using namespace std::chrono_literals;

// A blocking client connection to the server's port.
class Client {
  public:
    explicit Client(std::uint16_t port, int receiveBuffer = 0)
        : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        if (receiveBuffer)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { ::close(fd_); }
    bool connected() const { return connected_; }

    void send(const std::string& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // Everything until the server closes, or until `until` has been seen.
    std::string read(std::string_view until = {}) {
        std::string got;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) return got;
            got.append(buffer, static_cast<std::size_t>(n));
            if (!until.empty() && got.find(until) != std::string::npos) return got;
        }
    }

  private:
    int fd_;
    bool connected_ = false;
};

class HttpServerTest : public ::testing::Test {
  protected:
    void start(const ServerLimits& limits) {
        server.emplace(io, "127.0.0.1", "0", limits, site, [] { return snapshotText; });
        port = static_cast<std::uint16_t>(std::stoi(server->address().substr(10)));
    }
    // Runs the loop until the client side is done.
    template <class Work>
    auto whileServing(Work work) {
        auto done = std::async(std::launch::async, std::move(work));
        while (done.wait_for(0s) != std::future_status::ready) io.run_for(5ms);
        return done.get();
    }
    // Runs the loop until the condition holds.
    template <class Condition>
    void serveUntil(Condition condition) {
        while (!condition()) io.run_for(5ms);
    }

    static inline const std::string snapshotText = "event: board\ndata: {}\n\n";
    boost::asio::io_context io;
    CoverShelf covers{io};
    Site site{covers};
    std::optional<HttpServer> server;
    std::uint16_t port = 0;
};

TEST_F(HttpServerTest, EachRefusalSaysWhatItRefused) {
    start(ServerLimits{});
    const std::string big(9000, 'a');
    std::string manyFields;
    for (int i = 0; i < 65; ++i) manyFields += "X-" + std::to_string(i) + ": 1\r\n";
    const struct {
        std::string request;
        std::string_view status, says;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", "200 OK", "<!DOCTYPE html>"},
        {"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n", "405 Method Not Allowed",
         "read-only"},
        {"DELETE /board.js HTTP/1.1\r\nHost: x\r\n\r\n", "405", "Allow: GET, HEAD"},
        {"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + big + "\r\n\r\n",
         "431 Request Header Fields Too Large", "at most 8192 bytes"},
        {"GET / HTTP/1.1\r\nHost: x\r\n" + manyFields + "\r\n", "431", "at most 64 header fields"},
        {"GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello", "413", "no body"},
        {"HELLO\r\n\r\n", "400 Bad Request", "no HTTP request"},
        {"GET http://elsewhere/ HTTP/1.1\r\nHost: x\r\n\r\n", "400", "No such address"},
        {"GET /cover/../../etc/passwd HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
         "404 Not Found", "Not found"},
    };
    for (const auto& c : cases) {
        const std::string answer = whileServing([&] {
            Client client(port);
            client.send(c.request);
            return client.read();
        });
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 " + std::string(c.status))) << answer;
        EXPECT_NE(answer.find(c.says), std::string::npos) << answer;
        EXPECT_NE(answer.find("Content-Security-Policy: default-src 'none'; script-src 'self'"),
                  std::string::npos)
            << answer;
    }
    const std::string head = whileServing([&] {
        Client client(port);
        client.send("HEAD /board.js HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        return client.read();
    });
    EXPECT_TRUE(head.starts_with("HTTP/1.1 200 OK")) << head;
    EXPECT_TRUE(head.ends_with("\r\n\r\n")) << "a HEAD answer has no body";
}

TEST_F(HttpServerTest, OnePageBeyondTheCapIsToldToComeBackAndComesInOnceOneCloses) {
    ServerLimits limits;
    limits.maxPages = 2;
    start(limits);
    const std::string stream = "GET /events HTTP/1.1\r\nHost: x\r\n\r\n";
    auto first = std::make_unique<Client>(port);
    Client second(port);
    const std::string opened = whileServing([&] {
        first->send(stream);
        second.send(stream);
        return first->read("event: board") + second.read("event: board");
    });
    EXPECT_NE(opened.find("text/event-stream"), std::string::npos) << opened;
    EXPECT_EQ(server->pages(), 2u);

    const std::string refused = whileServing([&] {
        Client third(port);
        third.send(stream);
        return third.read();
    });
    EXPECT_TRUE(refused.starts_with("HTTP/1.1 503 Service Unavailable")) << refused;
    EXPECT_NE(refused.find("Retry-After: 30"), std::string::npos) << refused;
    EXPECT_NE(refused.find("2 pages are open"), std::string::npos) << refused;

    first.reset();
    serveUntil([&] { return server->pages() == 1; });
    const std::string admitted = whileServing([&] {
        Client fourth(port);
        fourth.send(stream);
        return fourth.read("event: board");
    });
    EXPECT_NE(admitted.find("retry: 2000\n\nevent: board\ndata: {}\n\n"), std::string::npos);
}

TEST_F(HttpServerTest, AClientThatNeverFinishesItsRequestIsLetGo) {
    ServerLimits limits;
    limits.requestTime = 200ms;
    start(limits);
    const std::string answer = whileServing([&] {
        Client client(port);
        client.send("GET / HTTP/1.1\r\nHost: x\r\n");  // and nothing more
        return client.read();
    });
    EXPECT_EQ(answer, "");  // closed without an answer
}

TEST_F(HttpServerTest, APageThatReadsNothingLosesItsStreamAndTheOthersGoOn) {
    ServerLimits limits;
    limits.queuedBytes = 64 * 1024;
    start(limits);
    const std::string stream = "GET /events HTTP/1.1\r\nHost: x\r\n\r\n";
    Client reader(port);
    Client sleeper(port, 4096);
    whileServing([&] {
        reader.send(stream);
        sleeper.send(stream);
        reader.read("event: board");
        return sleeper.read("event: board");
    });
    ASSERT_EQ(server->pages(), 2u);

    // The reader takes everything on its own thread; the sleeper reads nothing more.
    std::atomic<std::size_t> received = 0;
    std::thread reading([&] { received = reader.read("event: last").size(); });
    const auto chunk = std::make_shared<const std::string>(
        "event: x\ndata: " + std::string(32 * 1024, 'x') + "\n\n");
    std::size_t sent = 0;
    while (server->pages() == 2) {
        server->broadcast(chunk);
        sent += chunk->size();
        io.run_for(1ms);
        ASSERT_LT(sent, std::size_t(1) << 30) << "the sleeper was never let go";
    }
    server->broadcast(std::make_shared<const std::string>("event: last\ndata: \n\n"));
    serveUntil([&] { return received > 0; });
    reading.join();
    EXPECT_EQ(server->pages(), 1u);
    EXPECT_GE(received, sent);  // the page that reads got every event
}

}  // namespace
}  // namespace velmora::web
