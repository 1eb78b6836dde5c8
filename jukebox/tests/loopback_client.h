// SPDX-License-Identifier: MIT
// A board's end of the link for tests: writes bytes and reads lines over loopback, driving the
// io_context it shares with an in-process service until each step is done or times out.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/write.hpp>

namespace velmora::jukebox::testing {

using namespace std::chrono_literals;

class LoopbackClient {
  public:
    // receiveBuffer > 0 shrinks the socket's receive buffer (set before connecting).
    LoopbackClient(asio::io_context& io, std::uint16_t port, int receiveBuffer = 0)
        : io_(io), socket_(io) {
        socket_.open(asio::ip::tcp::v4());
        if (receiveBuffer > 0)
            socket_.set_option(asio::socket_base::receive_buffer_size(receiveBuffer));
        bool done = false;
        socket_.async_connect({asio::ip::make_address("127.0.0.1"), port},
                              [&](const std::error_code& error) {
                                  error_ = error;
                                  done = true;
                              });
        runUntil(done, 5s);
    }

    // Writes everything; false when the service has gone.
    bool write(std::string_view bytes) {
        bool done = false;
        asio::async_write(socket_, asio::buffer(bytes),
                          [&](const std::error_code& error, std::size_t) {
                              error_ = error;
                              done = true;
                          });
        runUntil(done, 5s);
        return !error_;
    }

    // The next line without its LF; nothing on timeout or when the service hung up.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = 5000ms) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            if (const auto end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            if (hungUp_ || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            readSome(deadline);
        }
    }

    // The next line that starts with `prefix`, skipping others.
    std::optional<std::string> readLineStarting(std::string_view prefix,
                                                std::chrono::milliseconds timeout = 5000ms) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (auto line = readLine(std::chrono::duration_cast<std::chrono::milliseconds>(
                   deadline - std::chrono::steady_clock::now()))) {
            if (line->starts_with(prefix)) return line;
        }
        return std::nullopt;
    }

    // True once the service has closed the connection (everything before is skipped).
    bool hungUp(std::chrono::milliseconds timeout = 5000ms) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!hungUp_ && std::chrono::steady_clock::now() < deadline) {
            readSome(deadline);
            buffer_.clear();
        }
        return hungUp_;
    }

    // Lets the service run for a while without reading.
    void idle(std::chrono::milliseconds time) {
        const auto deadline = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < deadline) {
            io_.restart();
            io_.run_one_until(deadline);
        }
    }

    void close() {
        std::error_code ignored;
        socket_.close(ignored);
    }

    const std::error_code& error() const { return error_; }

  private:
    void readSome(std::chrono::steady_clock::time_point deadline) {
        bool done = false;
        socket_.async_read_some(asio::buffer(chunk_),
                                [&](const std::error_code& error, std::size_t bytes) {
                                    buffer_.append(chunk_, bytes);
                                    if (error && error != asio::error::operation_aborted)
                                        hungUp_ = true;
                                    done = true;
                                });
        runUntil(done, deadline - std::chrono::steady_clock::now());
    }

    // Serves the io_context (the service's work too) until `done`; cancels our own operation
    // when time runs out and waits for its handler, which refers to this frame.
    // An io_context that ran out of work stays stopped until restarted.
    void runUntil(bool& done, std::chrono::steady_clock::duration timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done && std::chrono::steady_clock::now() < deadline) {
            io_.restart();
            io_.run_one_until(deadline);
        }
        if (done) return;
        std::error_code ignored;
        socket_.cancel(ignored);
        while (!done) {
            io_.restart();
            io_.run_one();
        }
    }

    asio::io_context& io_;
    asio::ip::tcp::socket socket_;
    char chunk_[4096];
    std::string buffer_;
    std::error_code error_;
    bool hungUp_ = false;
};

}  // namespace velmora::jukebox::testing
