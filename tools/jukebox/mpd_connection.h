// SPDX-License-Identifier: MIT
// One connection to an MPD server on the service's io_context: connects (TCP or a local socket),
// checks the greeting, sends the password, then sends commands and hands back their replies in
// order. Any failure (refused, lost, a time-out, a broken reply) ends it once, with a reason.
#pragma once

#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include <asio/generic/stream_protocol.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include "mpd_protocol.h"

namespace velmora::jukebox {

class MpdConnection : public std::enable_shared_from_this<MpdConnection> {
  public:
    using Ready = std::function<void()>;
    using Failed = std::function<void(const std::string& reason)>;
    using ReplyHandler = std::function<void(MpdReply&)>;

    MpdConnection(asio::io_context& io, MpdAddress address, MpdLimits limits = {});

    // `ready` once greeted and logged in; `failed` at most once, after which nothing is called.
    void open(Ready ready, Failed failed);
    // Queues a command (without its LF); its reply goes to `handler`.
    void send(std::string command, ReplyHandler handler);
    // Ends the connection without calling `failed`.
    void close();
    // Fails the connection unless the next reply comes within `limit` (none: no limit).
    void expectWithin(std::chrono::milliseconds limit);

  private:
    void connectTo(asio::ip::tcp::resolver::results_type::const_iterator it);
    void connected();
    void read();
    void write();
    void fail(const std::string& reason);

    [[maybe_unused]] asio::io_context& io_;  // used where local sockets are not
    MpdAddress address_;
    asio::generic::stream_protocol::socket socket_;
    asio::ip::tcp::resolver resolver_;
    asio::ip::tcp::resolver::results_type addresses_;
    asio::steady_timer deadline_;
    MpdReplyParser parser_;
    std::array<char, 16 * 1024> input_{};
    std::string pending_, writing_;
    std::deque<ReplyHandler> waiting_;
    Ready ready_;
    Failed failed_;
    bool open_ = false;
};

}  // namespace velmora::jukebox
