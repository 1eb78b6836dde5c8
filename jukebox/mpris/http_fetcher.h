// SPDX-License-Identifier: MIT
// Fetches covers over HTTP(S) in the background with libcurl's multi interface, driven from the
// service's Asio loop: curl names the sockets and the time-out it waits for, the loop wakes for
// those. Every transfer is bounded in size and time and may only be redirected to HTTP(S).
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

namespace velmora::jukebox::mpris {

class HttpFetcher {
  public:
    // The body, or nothing: a failed request, an HTTP error, too large, too slow.
    using Done = std::function<void(std::optional<std::string>)>;

    HttpFetcher(asio::io_context& io, std::size_t maxBytes, std::chrono::milliseconds maxTime);
    ~HttpFetcher();
    HttpFetcher(const HttpFetcher&) = delete;
    HttpFetcher& operator=(const HttpFetcher&) = delete;

    // `done` is called later, never from within get().
    void get(const std::string& url, Done done);
    // Ends every transfer; their `done` is not called.
    void cancel();

  private:
    struct Curl;
    struct Transfer;
    struct Socket;
    friend struct CurlCallbacks;
    void socketChanged(int fd, int what);
    void timerChanged(long milliseconds);
    void watch(const std::shared_ptr<Socket>& socket);
    void act(int fd, int events);
    void reap();

    asio::io_context& io_;
    std::size_t maxBytes_;
    std::chrono::milliseconds maxTime_;
    std::unique_ptr<Curl> curl_;
    void* multi_;  // nothing without libcurl
    asio::steady_timer timer_;
    std::map<void*, std::unique_ptr<Transfer>> transfers_;
    std::map<int, std::shared_ptr<Socket>> sockets_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace velmora::jukebox::mpris
