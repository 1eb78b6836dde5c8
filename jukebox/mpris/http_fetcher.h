// SPDX-License-Identifier: MIT
// Fetches covers over HTTP(S) in the background with libcurl's multi interface, driven from the
// service's Asio loop: curl names the sockets and the time-out it waits for, the loop wakes for
// those. Every transfer is bounded in size and time and may only be redirected to HTTP(S).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include "velmora/lifetime.h"

namespace velmora::jukebox::mpris {

class HttpFetcher {
  public:
    // The body, or nothing: a failed request, an HTTP error, too large, too slow.
    using Done = std::function<void(std::optional<std::string>)>;
    using Log = std::function<void(const std::string&)>;

    // The oldest libcurl with every option a fetch sets (CURLOPT_PROTOCOLS_STR), as curl numbers
    // its versions: 7.85.0.
    static constexpr unsigned kOldestCurl = 0x075500;

    // Loads libcurl; without it, or with one older than kOldestCurl, says so once in `log` and
    // fails every fetch. `libraryVersion` stands in for the version the library reports.
    HttpFetcher(asio::io_context& io, std::size_t maxBytes, std::chrono::milliseconds maxTime,
                Log log, std::optional<unsigned> libraryVersion = std::nullopt);
    ~HttpFetcher();
    HttpFetcher(const HttpFetcher&) = delete;
    HttpFetcher& operator=(const HttpFetcher&) = delete;

    // `done` is called later, never from within get().
    void get(const std::string& url, Done done);
    // Ends every transfer; their `done` is not called, not even for a failure on its way.
    void cancel();

  private:
    struct Curl;
    struct Transfer;
    struct Socket;
    friend struct CurlCallbacks;
    // Loads libcurl and makes the multi handle; why not, when it cannot.
    std::string start(std::optional<unsigned> libraryVersion);
    void socketChanged(int fd, int what);
    void timerChanged(long milliseconds);
    void watch(const std::shared_ptr<Socket>& socket);
    void act(int fd, int events);
    void reap();
    void failLater(Done done);

    asio::io_context& io_;
    std::size_t maxBytes_;
    std::chrono::milliseconds maxTime_;
    std::unique_ptr<Curl> curl_;
    void* multi_;  // nothing without libcurl
    asio::steady_timer timer_;
    std::map<void*, std::unique_ptr<Transfer>> transfers_;
    std::map<int, std::shared_ptr<Socket>> sockets_;
    std::uint64_t cancels_ = 0;  // a failure posted before the last cancel() is dropped
    velmora::Liveness liveness_;
};

}  // namespace velmora::jukebox::mpris
