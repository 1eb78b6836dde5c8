// SPDX-License-Identifier: MIT
// The running board's state that its handlers share: the board itself, the link and the two
// endpoints, the echo flag and the end of the run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/link_control.h"
#include "velmora/messages.h"
#include "platform/form.h"
#include "platform/services.h"

namespace velmora::board {

inline constexpr char kTxEndpoint[] = "cdj";   // every command goes out here
inline constexpr char kRxEndpoint[] = "cdjr";  // the jukebox's messages come in here
inline constexpr std::string_view kEchoTag = "cdjon";
// "echo[cdjon]", also the answer's prefix.
inline constexpr std::string_view kEchoRequest =
    link::messages::join<link::messages::kEcho, link::messages::kOpen, kEchoTag,
                         link::messages::kClose>;

class BoardState {
  public:
    BoardState(platform::Services& services, Form& form, link::LinkControl& link)
        : services_(services), form_(form), slinkx_(link) {}

    platform::Services& services() { return services_; }
    Form& form() { return form_; }

    // Opens both endpoints; the results are narrowed into lastResult and not examined.
    void openEndpoints() {
        lastResult_ = toInt16(slinkx_.LinkOpen(txEndpoint_, "type=devtx", 1, 1, 0));
        lastResult_ = toInt16(slinkx_.LinkOpen(rxEndpoint_, "type=devrx", 1, 1, 0));
    }
    void closeEndpoints() {
        lastResult_ = toInt16(slinkx_.LinkClose(txEndpoint_));
        lastResult_ = toInt16(slinkx_.LinkClose(rxEndpoint_));
    }
    // Sends a command through the send endpoint; the result is narrowed into lastResult.
    void send(std::string_view command) {
        lastResult_ = toInt16(slinkx_.LinkSend(txEndpoint_, std::string(command)));
    }
    void keepResult(std::int64_t result) { lastResult_ = toInt16(result); }
    std::int16_t lastResult() const { return lastResult_; }

    bool echoReceived() const { return echoReceived_ != 0; }
    void setEchoReceived(bool received) { echoReceived_ = received ? -1 : 0; }

    // Once unloaded, the link is closed: nothing may be sent any more.
    bool unloaded() const { return unloaded_; }
    void markUnloaded() { unloaded_ = true; }

  private:
    platform::Services& services_;
    Form& form_;
    link::LinkControl& slinkx_;
    std::string txEndpoint_ = kTxEndpoint;
    std::string rxEndpoint_ = kRxEndpoint;
    std::int16_t echoReceived_ = 0;  // -1 once the echo came back
    std::int16_t lastResult_ = 0;
    bool unloaded_ = false;
};

}  // namespace velmora::board
