// SPDX-License-Identifier: MIT
#include "backend/asio_socket.h"

#include <array>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <string>

namespace velmora::web {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using boost::system::error_code;

// What one read hands the core: any rate of input leaves the loop free for the pages.
constexpr std::size_t kChunkBytes = 16 * 1024;

// The connection's state lives apart from the socket object, so that a handler still queued when
// the core lets go of the socket finds it closed instead of finding it gone.
struct Channel : std::enable_shared_from_this<Channel> {
    Channel(asio::io_context& io, AsioNetwork& network, platform::SocketEvents& events)
        : resolver(io), socket(io), network(network), events(&events) {}

    tcp::resolver resolver;
    tcp::socket socket;
    AsioNetwork& network;
    platform::SocketEvents* events;  // null once the core let go
    std::string outbox;              // written by the core, not yet taken by the system
    std::size_t writing = 0;         // bytes of outbox in the write under way
    std::array<char, kChunkBytes> input{};
    int attempt = 0;  // a handler of an earlier attempt finds a newer number here
    bool connected = false;

    void connect(const std::string& host, std::uint16_t port) {
        abort();
        const int mine = ++attempt;
        resolver.async_resolve(host, std::to_string(port),
                               [self = shared_from_this(), mine](
                                   const error_code& error, tcp::resolver::results_type found) {
                                   if (mine != self->attempt) return;
                                   if (error) return self->lost(mine);
                                   self->dial(mine, std::move(found));
                               });
    }

    void dial(int mine, const tcp::resolver::results_type& found) {
        asio::async_connect(
            socket, found,
            [self = shared_from_this(), mine](const error_code& error, const tcp::endpoint&) {
                if (mine != self->attempt) return;
                if (error) return self->lost(mine);
                self->connected = true;
                self->socket.set_option(tcp::no_delay(true));
                self->network.opened();
                self->flush();
                self->read(mine);
                if (self->events) self->events->connected();
            });
    }

    void read(int mine) {
        socket.async_read_some(
            asio::buffer(input),
            [self = shared_from_this(), mine](const error_code& error, std::size_t bytes) {
                if (mine != self->attempt) return;
                if (bytes > 0) {
                    self->network.heard();
                    if (self->events)
                        self->events->received(std::string_view(self->input.data(), bytes));
                    if (mine != self->attempt) return;
                }
                if (error) return self->lost(mine);
                self->read(mine);
            });
    }

    void flush() {
        if (!connected || writing > 0 || outbox.empty()) return;
        writing = outbox.size();
        const int mine = attempt;
        asio::async_write(socket, asio::buffer(outbox.data(), writing),
                          [self = shared_from_this(), mine](const error_code& error, std::size_t) {
                              if (mine != self->attempt) return;
                              if (error) return self->lost(mine);
                              self->outbox.erase(0, self->writing);
                              self->writing = 0;
                              self->flush();
                          });
    }

    // The connection failed or ended: told once per attempt, on a later turn of the loop.
    void lost(int mine) {
        abort();
        asio::post(socket.get_executor(), [self = shared_from_this(), mine] {
            if (mine + 1 != self->attempt || !self->events) return;
            self->events->disconnected();
        });
    }

    // Ends the attempt under way; none of its handlers acts any more.
    void abort() {
        ++attempt;
        resolver.cancel();
        error_code ignored;
        socket.close(ignored);
        outbox.clear();
        writing = 0;
        if (connected) network.closed();
        connected = false;
    }
};

class AsioStreamSocket final : public platform::StreamSocket {
  public:
    AsioStreamSocket(asio::io_context& io, AsioNetwork& network, platform::SocketEvents& events)
        : channel_(std::make_shared<Channel>(io, network, events)) {}
    ~AsioStreamSocket() override {
        channel_->events = nullptr;
        channel_->abort();
    }

    void connectTo(const std::string& host, std::uint16_t port) override {
        channel_->connect(host, port);
    }
    void write(std::string_view bytes) override {
        if (bytes.empty()) return;
        channel_->outbox.append(bytes);
        channel_->flush();
    }
    std::size_t pendingBytes() const override { return channel_->outbox.size(); }
    void close() override { channel_->abort(); }

    // On the way out: what waits for its turn goes in one write the system takes without
    // blocking; a write already under way is left to the system.
    void finish(int) override {
        Channel& c = *channel_;
        if (!c.connected || c.writing > 0 || c.outbox.empty()) return;
        error_code error;
        c.socket.non_blocking(true, error);
        if (!error) c.socket.write_some(asio::buffer(c.outbox), error);
    }

  private:
    std::shared_ptr<Channel> channel_;
};

}  // namespace

AsioNetwork::AsioNetwork(asio::io_context& io, std::function<void(bool)> linkChanged,
                         std::chrono::milliseconds silence)
    : io_(io), linkChanged_(std::move(linkChanged)), longestSilence_(silence), silence_(io) {}

AsioNetwork::~AsioNetwork() = default;

std::unique_ptr<platform::StreamSocket> AsioNetwork::createSocket(platform::SocketEvents& events) {
    return std::make_unique<AsioStreamSocket>(io_, *this, events);
}

void AsioNetwork::opened() {
    ++open_;
    heard();
}

void AsioNetwork::heard() {
    lastHeard_ = std::chrono::steady_clock::now();
    judge();
}

void AsioNetwork::closed() {
    --open_;
    judge();
}

void AsioNetwork::judge() {
    const bool up = open_ > 0 && std::chrono::steady_clock::now() - lastHeard_ < longestSilence_;
    if (up && !up_) watchSilence();
    if (up == up_) return;
    up_ = up;
    if (linkChanged_) linkChanged_(up);
}

// While the link is up, one timer looks again when the silence would have lasted long enough.
void AsioNetwork::watchSilence() {
    silence_.expires_at(lastHeard_ + longestSilence_);
    silence_.async_wait([this](const error_code& error) {
        if (error || !up_) return;
        if (std::chrono::steady_clock::now() - lastHeard_ >= longestSilence_) {
            judge();
        } else {
            watchSilence();
        }
    });
}

}  // namespace velmora::web
