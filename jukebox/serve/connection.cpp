// SPDX-License-Identifier: MIT
#include "serve/connection.h"

#include <chrono>

#include <asio/write.hpp>

#include "serve/transcript.h"

namespace velmora::jukebox {

namespace {

constexpr auto kLingerTime = std::chrono::seconds(2);
// An output buffer that grew past this during a burst is given back once it is written.
constexpr std::size_t kKeptBufferBytes = 64 * 1024;

std::string_view withoutNewline(std::string_view line) {
    return line.ends_with('\n') ? line.substr(0, line.size() - 1) : line;
}

}  // namespace

Connection::Connection(asio::ip::tcp::socket socket, std::uint64_t id, ConnectionContext& context)
    : socket_(std::move(socket)),
      lingerTimer_(socket_.get_executor()),
      greetingTimer_(socket_.get_executor()),
      id_(id),
      context_(context) {}

void Connection::start() {
    if (context_.transcript) {
        std::error_code error;
        const auto peer = socket_.remote_endpoint(error);
        context_.transcript->event(
            id_, "connected from " +
                     (error ? std::string("?")
                            : peer.address().to_string() + ":" + std::to_string(peer.port())));
    }
    send({context_.greeting});
    greetingTimer_.expires_after(context_.greetingTimeout);
    greetingTimer_.async_wait([self = shared_from_this()](const std::error_code& error) {
        if (!error && !self->conversation_.greeted()) self->close("no greeting in time");
    });
    read();
}

void Connection::trackStarted() {
    if (!open_ || lingering_) return;
    Conversation::Output out;
    conversation_.trackStarted(context_.player, out);
    send(out);
}

void Connection::secondPassed() {
    if (!open_ || lingering_) return;
    Conversation::Output out;
    conversation_.secondPassed(context_.player, out);
    send(out);
}

void Connection::close(std::string_view reason) {
    if (!open_) return;
    const auto self = shared_from_this();  // the service may drop its reference below
    open_ = false;
    std::error_code ignored;
    lingerTimer_.cancel();
    greetingTimer_.cancel();
    socket_.close(ignored);
    pending_ = {};  // writing_ stays until its write's handler has run: the socket may hold it
    if (context_.transcript) context_.transcript->event(id_, "closed: " + std::string(reason));
    context_.closed(id_);
}

void Connection::read() {
    socket_.async_read_some(
        asio::buffer(input_),
        [self = shared_from_this()](const std::error_code& error, std::size_t bytes) {
            self->onRead(error, bytes);
        });
}

void Connection::onRead(const std::error_code& error, std::size_t bytes) {
    if (!open_) return;
    if (error) {
        close(error == asio::error::eof ? "end of stream" : error.message());
        return;
    }
    if (lingering_) {  // whatever comes now is not read
        read();
        return;
    }
    Conversation::Output out;
    reader_.feed(std::string_view(input_.data(), bytes), [&](std::string_view line) {
        if (!open_ || conversation_.finished()) return;
        if (context_.transcript) context_.transcript->received(id_, line);
        conversation_.handleLine(line, context_.player, out);
        send(out);  // line by line, so the transcript shows each answer after its question
        out.clear();
    });
    if (!open_) return;
    if (conversation_.greeted()) greetingTimer_.cancel();
    if (conversation_.finished()) {
        lingering_ = true;
        if (writing_.empty()) linger();
    }
    read();
}

void Connection::send(const Conversation::Output& lines) {
    for (const std::string& line : lines) {
        if (context_.transcript) context_.transcript->sent(id_, withoutNewline(line));
        pending_ += line;
    }
    if (backlog() > context_.maxBacklogBytes) {
        close("output backlog over " + std::to_string(context_.maxBacklogBytes) + " bytes");
        return;
    }
    write();
}

void Connection::write() {
    if (!writing_.empty() || pending_.empty()) return;
    writing_.swap(pending_);
    asio::async_write(socket_, asio::buffer(writing_),
                      [self = shared_from_this()](const std::error_code& error, std::size_t) {
                          self->onWritten(error);
                      });
}

void Connection::onWritten(const std::error_code& error) {
    if (!open_) return;
    if (error) {
        close(error.message());
        return;
    }
    writing_.clear();
    if (writing_.capacity() > kKeptBufferBytes) writing_ = std::string();
    if (lingering_ && pending_.empty()) {
        linger();
        return;
    }
    write();
}

void Connection::linger() {
    std::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    lingerTimer_.expires_after(kLingerTime);
    lingerTimer_.async_wait([self = shared_from_this()](const std::error_code& error) {
        if (!error) self->close("protocol error");
    });
}

}  // namespace velmora::jukebox
