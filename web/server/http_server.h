// SPDX-License-Identifier: MIT
// velmora-web's HTTP server (Boost.Beast on the program's one Asio loop): the page and its files,
// the covers, and one long-lived stream of the board's events per open page. Read-only: GET and
// HEAD only. Every client is bounded: the size of a request's header and its number of fields,
// the time to send a whole request, the bytes waiting for a page that reads too slowly, the time
// one write may take, the open pages and connections.
#pragma once

#include <boost/asio/io_context.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "board_feed.h"
#include "server/site.h"

namespace velmora::web {

struct ServerLimits {
    std::size_t maxPages = 1000;
    std::size_t maxConnections = 0;        // 0: the pages and 64 more
    std::uint32_t headerBytes = 8 * 1024;  // a request's line and header fields
    std::size_t headerFields = 64;
    std::chrono::milliseconds requestTime{10'000};  // to send a whole request, or between two
    std::size_t requestsPerConnection = 100;
    std::size_t queuedBytes = 256 * 1024;         // a page that reads slower loses its stream
    std::chrono::milliseconds writeTime{20'000};  // for one write to a page
    std::chrono::milliseconds ping{15'000};       // a word to every page, to show it is alive
};

class HttpServer final : public PageSink {
  public:
    // snapshot gives a newly opened page the whole board. Throws boost::system::system_error when
    // the address cannot be listened on.
    HttpServer(boost::asio::io_context& io, const std::string& host, const std::string& port,
               const ServerLimits& limits, const Site& site, std::function<std::string()> snapshot);
    ~HttpServer() override;

    // "ADDRESS:PORT" as listened on ("[V6]:PORT").
    std::string address() const;
    std::size_t pages() const;

    void broadcast(std::shared_ptr<const std::string> event) override;
    // No new client; every open one is let go.
    void stop();

    struct Shared;

  private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace velmora::web
