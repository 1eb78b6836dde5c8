// SPDX-License-Identifier: MIT
// One board connected to the service: reads its lines through a bounded reader, lets its
// Conversation answer them, and writes the answers and notifications in order. A client that
// stops reading is dropped once its unsent output passes a bound.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include "velmora/link_protocol.h"
#include "serve/conversation.h"

namespace velmora::jukebox {

class NowPlaying;
class Transcript;

// What every connection shares with the service; it outlives them all.
struct ConnectionContext {
    const NowPlaying& player;
    Transcript* transcript;  // may be null
    std::size_t maxBacklogBytes;
    std::string greeting;  // the service's first line, with its LF
    std::chrono::milliseconds greetingTimeout;
    std::function<void(std::uint64_t)> closed;  // once per connection, when it ends
};

class Connection : public std::enable_shared_from_this<Connection> {
  public:
    Connection(asio::ip::tcp::socket socket, std::uint64_t id, ConnectionContext& context);

    void start();
    void trackStarted();
    void secondPassed();
    // Ends the connection at once; `reason` goes to the transcript.
    void close(std::string_view reason);

    std::uint64_t id() const { return id_; }
    std::size_t backlog() const { return pending_.size() + writing_.size(); }

  private:
    void read();
    void onRead(const std::error_code& error, std::size_t bytes);
    void send(const Conversation::Output& lines);
    void write();
    void onWritten(const std::error_code& error);
    // After a protocol error: stop sending, then read until the client hangs up (or a short
    // while), so that closing does not reset the connection before our ERROR line is read.
    void linger();

    asio::ip::tcp::socket socket_;
    asio::steady_timer lingerTimer_;
    asio::steady_timer greetingTimer_;
    const std::uint64_t id_;
    ConnectionContext& context_;
    std::array<char, 4096> input_{};
    link::LineReader reader_;
    Conversation conversation_;
    std::string pending_;  // queued, not yet handed to the socket
    std::string writing_;  // handed to the socket, not yet confirmed
    bool open_ = true;
    bool lingering_ = false;
};

}  // namespace velmora::jukebox
