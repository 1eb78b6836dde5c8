// SPDX-License-Identifier: MIT
// The link control: carries commands to the jukebox through named endpoints and raises LinkMessage
// for every message that arrives. Results are 32-bit; callers narrow them to 16 bits.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velmora::link {

class LinkControl {
  public:
    // endpoint and message are passed by reference, as the event hands them.
    using MessageHandler = std::function<void(std::string& endpoint, std::string& message)>;

    virtual ~LinkControl() = default;

    virtual std::int32_t LinkOpen(std::string& endpoint, const std::string& options, std::int32_t a,
                                  std::int32_t b, std::int32_t c) = 0;
    virtual std::int32_t LinkSend(std::string& endpoint, const std::string& command) = 0;
    virtual std::int32_t LinkClose(std::string& endpoint) = 0;

    void onLinkMessage(MessageHandler handler) { handler_ = std::move(handler); }

  protected:
    // Raised on the UI thread, one message at a time.
    void raiseLinkMessage(std::string endpoint, std::string message) {
        if (handler_) handler_(endpoint, message);
    }

  private:
    MessageHandler handler_;
};

class LinkFactory {
  public:
    virtual ~LinkFactory() = default;
    virtual std::unique_ptr<LinkControl> createLink() = 0;
};

}  // namespace velmora::link
