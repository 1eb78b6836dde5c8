// SPDX-License-Identifier: MIT
// One connection to an MPD server on the service's io_context: connects (TCP or a local socket),
// checks the greeting, sends the password, then sends commands and hands back their replies in
// order. While an answer is owed, MPD has the reply time to give the next one. Any failure
// (refused, lost, a time-out, a broken reply) ends it once, with a reason.
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

#include "mpd/mpd_protocol.h"

namespace velmora::jukebox {

class MpdConnection : public std::enable_shared_from_this<MpdConnection> {
  public:
    using Ready = std::function<void()>;
    using Failed = std::function<void(const std::string& reason)>;
    using ReplyHandler = std::function<void(MpdReply&)>;

    MpdConnection(asio::io_context& io, MpdAddress address, std::chrono::milliseconds replyTime,
                  MpdLimits limits = {});

    // `ready` once greeted and logged in; `failed` at most once, after which nothing is called.
    void open(Ready ready, Failed failed);
    // Queues a command (without its LF); its reply goes to `handler`.
    void send(std::string command, ReplyHandler handler);
    // The same for MPD's idle, which answers only when something changes: no reply time.
    void sendIdle(std::string command, ReplyHandler handler);
    // Ends a pending idle with noidle: MPD answers it at once (with what changed, if anything),
    // and that answer now has the reply time. Nothing when no idle is pending.
    void endIdle();
    // Ends the connection without calling `failed`.
    void close();

  private:
    void connectTo(asio::ip::tcp::resolver::results_type::const_iterator it);
    void connected();
    void read();
    void queue(std::string command, ReplyHandler handler, bool timed);
    void write();
    void fail(const std::string& reason);
    // The deadline runs while a timed answer is owed, afresh after the greeting and each reply
    // (once their handlers have queued what comes next).
    void watch(std::chrono::milliseconds limit);
    void unwatch();
    bool watching() const;
    void followOwed();

    struct Owed {
        ReplyHandler handler;
        bool timed;
    };

    [[maybe_unused]] asio::io_context& io_;  // used where local sockets are not
    MpdAddress address_;
    asio::generic::stream_protocol::socket socket_;
    asio::ip::tcp::resolver resolver_;
    asio::ip::tcp::resolver::results_type addresses_;
    const std::chrono::milliseconds replyTime_;
    asio::steady_timer deadline_;
    MpdReplyParser parser_;
    std::array<char, 16 * 1024> input_{};
    std::string pending_, writing_;
    std::deque<Owed> waiting_;
    std::size_t timedOwed_ = 0;
    Ready ready_;
    Failed failed_;
    bool open_ = false;
};

}  // namespace velmora::jukebox
