// SPDX-License-Identifier: MIT
#include "mpd/mpd_connection.h"

#include <asio/post.hpp>
#include <asio/write.hpp>
#if defined(ASIO_HAS_LOCAL_SOCKETS)
#include <asio/local/stream_protocol.hpp>
#endif

namespace velmora::jukebox {

namespace {

constexpr auto kConnectTimeout = std::chrono::seconds(5);

}  // namespace

MpdConnection::MpdConnection(asio::io_context& io, MpdAddress address,
                             std::chrono::milliseconds replyTime, MpdLimits limits)
    : io_(io),
      address_(std::move(address)),
      socket_(io),
      resolver_(io),
      replyTime_(replyTime),
      deadline_(io),
      parser_(limits) {
    unwatch();
}

void MpdConnection::open(Ready ready, Failed failed) {
    ready_ = std::move(ready);
    failed_ = std::move(failed);
    open_ = true;
    watch(std::chrono::duration_cast<std::chrono::milliseconds>(kConnectTimeout));
    const auto self = shared_from_this();
    if (address_.local()) {
#if defined(ASIO_HAS_LOCAL_SOCKETS)
        std::string path = address_.host;
        if (path.starts_with('@')) path[0] = '\0';  // the abstract namespace
        asio::local::stream_protocol::endpoint endpoint(path);
        socket_.async_connect(endpoint, [self](const std::error_code& error) {
            if (error)
                return self->fail("cannot connect to " + self->address_.host + ": " +
                                  error.message());
            self->connected();
        });
#else
        asio::post(io_, [self] { self->fail("local sockets are not supported here"); });
#endif
        return;
    }
    resolver_.async_resolve(
        address_.host, std::to_string(address_.port),
        [self](const std::error_code& error, const asio::ip::tcp::resolver::results_type& found) {
            if (!self->open_) return;
            if (error)
                return self->fail("cannot find " + self->address_.host + ": " + error.message());
            self->addresses_ = found;
            self->connectTo(self->addresses_.begin());
        });
}

void MpdConnection::connectTo(asio::ip::tcp::resolver::results_type::const_iterator it) {
    if (!open_) return;
    if (it == addresses_.end()) return fail("cannot connect to " + address_.describe());
    std::error_code ignored;
    socket_.close(ignored);
    // Tries each address in turn; the generic socket takes any of them.
    socket_.async_connect(it->endpoint(),
                          [self = shared_from_this(), it](const std::error_code& error) {
                              if (!self->open_) return;
                              if (error) return self->connectTo(std::next(it));
                              self->connected();
                          });
}

void MpdConnection::connected() {
    if (!open_) return;
    read();
}

void MpdConnection::send(std::string command, ReplyHandler handler) {
    queue(std::move(command), std::move(handler), true);
}

void MpdConnection::sendIdle(std::string command, ReplyHandler handler) {
    queue(std::move(command), std::move(handler), false);
}

void MpdConnection::endIdle() {
    // Only an idle is ever untimed, and nothing is sent after it until it is answered.
    if (!open_ || waiting_.empty() || waiting_.back().timed) return;
    waiting_.back().timed = true;
    ++timedOwed_;
    if (!watching()) watch(replyTime_);
    // Should the idle's answer already be on its way, MPD ignores this noidle without a word.
    pending_.append("noidle\n");
    write();
}

void MpdConnection::queue(std::string command, ReplyHandler handler, bool timed) {
    if (!open_) return;
    pending_.append(command).append(1, '\n');
    waiting_.push_back({std::move(handler), timed});
    if (timed) {
        ++timedOwed_;
        if (!watching()) watch(replyTime_);
    }
    write();
}

void MpdConnection::watch(std::chrono::milliseconds limit) {
    deadline_.expires_after(limit);
    deadline_.async_wait([self = shared_from_this()](const std::error_code& error) {
        // A wait that had already ended when the deadline moved sees the new expiry.
        if (!error && self->deadline_.expiry() <= std::chrono::steady_clock::now())
            self->fail("MPD did not answer in time");
    });
}

void MpdConnection::unwatch() {
    deadline_.expires_at(asio::steady_timer::time_point::max());
}

bool MpdConnection::watching() const {
    return deadline_.expiry() != asio::steady_timer::time_point::max();
}

void MpdConnection::followOwed() {
    if (!open_) return;
    if (timedOwed_ > 0)
        watch(replyTime_);
    else
        unwatch();
}

void MpdConnection::close() {
    if (!open_) return;
    open_ = false;
    std::error_code ignored;
    resolver_.cancel();
    unwatch();
    socket_.close(ignored);
    waiting_.clear();
    timedOwed_ = 0;
    ready_ = nullptr;
    failed_ = nullptr;
}

void MpdConnection::fail(const std::string& reason) {
    if (!open_) return;
    Failed failed = std::move(failed_);
    close();
    if (failed) failed(reason);
}

void MpdConnection::read() {
    socket_.async_read_some(
        asio::buffer(input_),
        [self = shared_from_this()](const std::error_code& error, std::size_t bytes) {
            if (!self->open_) return;
            if (error)
                return self->fail(error == asio::error::eof ? "MPD closed the connection"
                                                            : error.message());
            const bool good = self->parser_.feed(
                std::string_view(self->input_.data(), bytes),
                [&](std::string_view) {
                    if (self->address_.password.empty()) {
                        if (self->ready_) self->ready_();
                    } else {
                        self->send("password " + mpdQuote(self->address_.password),
                                   [self](MpdReply& reply) {
                                       if (!reply.ok) return self->fail("password refused");
                                       if (self->ready_) self->ready_();
                                   });
                    }
                    self->followOwed();
                },
                [&](MpdReply& reply) {
                    if (!self->open_ || self->waiting_.empty()) return self->fail("unasked reply");
                    Owed owed = std::move(self->waiting_.front());
                    self->waiting_.pop_front();
                    if (owed.timed) --self->timedOwed_;
                    owed.handler(reply);
                    self->followOwed();
                });
            if (!self->open_) return;
            if (!good) return self->fail("broken reply: " + self->parser_.error());
            self->read();
        });
}

void MpdConnection::write() {
    if (!writing_.empty() || pending_.empty()) return;
    writing_.swap(pending_);
    asio::async_write(socket_, asio::buffer(writing_),
                      [self = shared_from_this()](const std::error_code& error, std::size_t) {
                          if (!self->open_) return;
                          if (error) return self->fail(error.message());
                          self->writing_.clear();
                          self->write();
                      });
}

}  // namespace velmora::jukebox
