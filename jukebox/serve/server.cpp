// SPDX-License-Identifier: MIT
#include "serve/server.h"

#include <algorithm>

#include <asio/ip/address.hpp>
#include <asio/write.hpp>

#include "serve/transcript.h"

namespace velmora::jukebox {

namespace {

using asio::ip::tcp;
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
    : Server(io, std::make_unique<PlaylistClock>(io, std::move(playlist), config.speed), nullptr,
             std::move(config), transcript) {}

Server::Server(asio::io_context& io, const NowPlaying& source, ServerConfig config,
               Transcript* transcript)
    : Server(io, nullptr, &source, std::move(config), transcript) {}

Server::Server(asio::io_context& io, std::unique_ptr<PlaylistClock> clock, const NowPlaying* source,
               ServerConfig config, Transcript* transcript)
    : config_(std::move(config)),
      clock_(std::move(clock)),
      transcript_(transcript),
      acceptor_(io, resolve(io, config_.host, config_.port)),
      acceptRetry_(io),
      context_{clock_ ? static_cast<const NowPlaying&>(clock_->player()) : *source,
               transcript_,
               config_.maxBacklogBytes,
               link::encodeServiceHello(config_.description),
               config_.greetingTimeout,
               [this](std::uint64_t id) { connections_.erase(id); }} {
    accept();
    if (clock_) clock_->start(*this);
}

Server::~Server() {
    stop();
}

void Server::stop() {
    if (stopped_) return;
    stopped_ = true;
    std::error_code ignored;
    acceptor_.close(ignored);
    if (clock_) clock_->stop();
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

void Server::trackStarted() {
    if (stopped_) return;
    forEachConnection([](Connection& connection) { connection.trackStarted(); });
}

void Server::secondPassed() {
    if (stopped_) return;
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
