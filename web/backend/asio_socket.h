// SPDX-License-Identifier: MIT
// The link's TCP stream on Boost.Asio, and the watch that tells the pages whether the jukebox is
// there: a connection that is up and has been heard from within two echo periods.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <functional>
#include <memory>

#include "platform/services.h"

namespace velmora::web {

class AsioNetwork final : public platform::Network {
  public:
    // The service answers the board's echo every 5 s; this long without a word means it is gone.
    static constexpr std::chrono::milliseconds kSilence{12'000};

    // linkChanged(up) runs on the loop whenever the jukebox comes or goes.
    AsioNetwork(boost::asio::io_context& io, std::function<void(bool)> linkChanged,
                std::chrono::milliseconds silence = kSilence);
    ~AsioNetwork() override;

    std::unique_ptr<platform::StreamSocket> createSocket(platform::SocketEvents& events) override;

    bool linkUp() const { return up_; }

    // The sockets' side.
    void opened();
    void heard();
    void closed();

  private:
    void judge();
    void watchSilence();

    boost::asio::io_context& io_;
    std::function<void(bool)> linkChanged_;
    std::chrono::milliseconds longestSilence_;
    boost::asio::steady_timer silence_;
    std::chrono::steady_clock::time_point lastHeard_{};
    int open_ = 0;
    bool up_ = false;
};

}  // namespace velmora::web
