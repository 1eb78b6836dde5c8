// SPDX-License-Identifier: MIT
// The jukebox service: accepts boards on a TCP address and hands each connection what the jukebox
// does, whether it plays a playlist on its own clock or follows a music server. Everything runs on
// one io_context, on one thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include "common/now_playing.h"
#include "playlist/playlist_clock.h"
#include "serve/connection.h"

namespace velmora::jukebox {

class Transcript;

struct ServerConfig {
    std::string host = "127.0.0.1";
    std::uint16_t port = 47321;  // 0: any free port
    double speed = 1.0;          // play seconds per real second
    std::size_t maxBacklogBytes = 1024 * 1024;
    std::size_t maxClients = 64;
    // A client that has not sent its first line by then is dropped, so that idle connections
    // cannot hold every place.
    std::chrono::milliseconds greetingTimeout{5000};
    std::string description = "velmora-jukebox";
};

class Server final : public NowPlayingListener {
  public:
    // Plays `playlist` on its own clock. Binds at once; throws std::system_error when the address
    // cannot be used, std::invalid_argument for an empty playlist.
    Server(asio::io_context& io, Playlist playlist, ServerConfig config,
           Transcript* transcript = nullptr);
    // Serves what `source` says; whoever drives it calls trackStarted() and secondPassed().
    Server(asio::io_context& io, const NowPlaying& source, ServerConfig config,
           Transcript* transcript = nullptr);
    ~Server() override;
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    asio::ip::tcp::endpoint endpoint() const { return acceptor_.local_endpoint(); }
    std::size_t clients() const { return connections_.size(); }

    // Stops accepting, hangs up on every client and stops the clock; run() then returns.
    void stop();

    void trackStarted() override;
    void secondPassed() override;

  private:
    void accept();
    void admit(asio::ip::tcp::socket socket);
    Server(asio::io_context& io, std::unique_ptr<PlaylistClock> clock, const NowPlaying* source,
           ServerConfig config, Transcript* transcript);
    template <class Action>
    void forEachConnection(Action action);

    ServerConfig config_;
    std::unique_ptr<PlaylistClock> clock_;  // when the service plays a playlist itself
    Transcript* transcript_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer acceptRetry_;
    ConnectionContext context_;
    std::map<std::uint64_t, std::shared_ptr<Connection>> connections_;
    std::uint64_t nextId_ = 1;
    bool stopped_ = false;
};

}  // namespace velmora::jukebox
