#include "server.h"

#include <algorithm>

#include <asio/ip/address.hpp>
#include <asio/write.hpp>

#include "transcript.h"

namespace velmora::jukebox {

namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

// The clock never wakes more often than this, however fast time runs.
constexpr auto kMinTick = std::chrono::milliseconds(1);
constexpr auto kAcceptRetry = std::chrono::milliseconds(100);

tcp::endpoint resolve(asio::io_context& io, const std::string& host, std::uint16_t port) {
    std::error_code error;
    const auto address = asio::ip::make_address(host, error);
    if (!error) return tcp::endpoint(address, port);
    tcp::resolver resolver(io);
    return *resolver.resolve(host, std::to_string(port), tcp::resolver::passive).begin();
}

}  // namespace

Server::Server(asio::io_context& io, Playlist playlist, ServerConfig config, Transcript* transcript)
    : config_(std::move(config)),
      player_(std::move(playlist)),
      transcript_(transcript),
      acceptor_(io, resolve(io, config_.host, config_.port)),
      clock_(io),
      acceptRetry_(io),
      start_(Clock::now()),
      context_{player_, transcript_, config_.maxBacklogBytes,
               link::encodeServiceHello(config_.description),
               [this](std::uint64_t id) { connections_.erase(id); }} {
    accept();
    tick();
}

Server::~Server() {
    stop();
}

void Server::stop() {
    if (stopped_) return;
    stopped_ = true;
    std::error_code ignored;
    acceptor_.close(ignored);
    clock_.cancel();
    acceptRetry_.cancel();
    forEachConnection([](Connection& connection) { connection.close("service stopping"); });
}

void Server::accept() {
    acceptor_.async_accept([this](const std::error_code& error, tcp::socket socket) {
        if (error == asio::error::operation_aborted || stopped_) return;
        if (error) {
            // Out of descriptors, most likely: wait rather than spin.
            acceptRetry_.expires_after(kAcceptRetry);
            acceptRetry_.async_wait([this](const std::error_code& aborted) {
                if (!aborted && !stopped_) accept();
            });
            return;
        }
        admit(std::move(socket));
        accept();
    });
}

void Server::admit(tcp::socket socket) {
    const std::uint64_t id = nextId_++;
    if (connections_.size() >= config_.maxClients) {
        std::error_code ignored;
        asio::write(socket, asio::buffer(link::encodeError("too many connections")), ignored);
        if (transcript_) transcript_->event(id, "refused: too many connections");
        return;
    }
    std::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);  // a time code should not wait for company
    const auto connection = std::make_shared<Connection>(std::move(socket), id, context_);
    connections_.emplace(id, connection);
    connection->start();
}

void Server::tick() {
    const std::chrono::duration<double, std::milli> real = Clock::now() - start_;
    player_.advanceTo(static_cast<std::int64_t>(real.count() * config_.speed), *this);

    const std::chrono::duration<double, std::milli> due(
        static_cast<double>(player_.nextSecondAt()) / config_.speed);
    clock_.expires_at(
        std::max(start_ + std::chrono::ceil<Clock::duration>(due), Clock::now() + kMinTick));
    // A wake-up already on its way when stop() cancels the wait still arrives without error.
    clock_.async_wait([this](const std::error_code& error) {
        if (!error && !stopped_) tick();
    });
}

void Server::trackStarted(const Player&) {
    forEachConnection([](Connection& connection) { connection.trackStarted(); });
}

void Server::secondPassed(const Player&) {
    forEachConnection([](Connection& connection) { connection.secondPassed(); });
}

template <class Action>
void Server::forEachConnection(Action action) {
    // A connection may end, and leave the map, while it is being served.
    for (auto it = connections_.begin(); it != connections_.end();) {
        const std::shared_ptr<Connection> connection = (it++)->second;
        action(*connection);
    }
}

}  // namespace velmora::jukebox
