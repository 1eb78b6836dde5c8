// The jukebox service: accepts boards on a TCP address, runs the player's clock, and hands each
// connection what the player does. Everything runs on one io_context, on one thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include "connection.h"
#include "player.h"

namespace velmora::jukebox {

class Transcript;

struct ServerConfig {
    std::string host = "127.0.0.1";
    std::uint16_t port = 47321;  // 0: any free port
    double speed = 1.0;          // play seconds per real second
    std::size_t maxBacklogBytes = 1024 * 1024;
    std::size_t maxClients = 64;
    std::string description = "velmora-jukebox";
};

class Server final : private PlayerListener {
  public:
    // Binds at once; throws std::system_error when the address cannot be used.
    Server(asio::io_context& io, Playlist playlist, ServerConfig config,
           Transcript* transcript = nullptr);
    ~Server() override;
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    asio::ip::tcp::endpoint endpoint() const { return acceptor_.local_endpoint(); }
    std::size_t clients() const { return connections_.size(); }
    const Player& player() const { return player_; }

    // Stops accepting, hangs up on every client and stops the clock; run() then returns.
    void stop();

  private:
    void accept();
    void admit(asio::ip::tcp::socket socket);
    void tick();
    void trackStarted(const Player& player) override;
    void secondPassed(const Player& player) override;
    template <class Action>
    void forEachConnection(Action action);

    ServerConfig config_;
    Player player_;
    Transcript* transcript_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer clock_;
    asio::steady_timer acceptRetry_;
    std::chrono::steady_clock::time_point start_;
    ConnectionContext context_;
    std::map<std::uint64_t, std::shared_ptr<Connection>> connections_;
    std::uint64_t nextId_ = 1;
    bool stopped_ = false;
};

}  // namespace velmora::jukebox
