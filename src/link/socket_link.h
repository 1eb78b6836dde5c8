// SPDX-License-Identifier: MIT
// The link control over one TCP connection to the jukebox service (docs/link-protocol.md).
// It connects at its first operation, queues what it is given until the service has answered the
// handshake, and after a lost connection re-opens its endpoints and repeats the notification
// requests it carried. Nothing here blocks except the destructor's short finish().
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_control.h"
#include "velmora/link_protocol.h"
#include "platform/services.h"

namespace velmora::link {

// What LinkOpen, LinkSend and LinkClose return. Every value fits 16 bits.
enum LinkResult : std::int32_t {
    kLinkAccepted = 0,           // sent, or queued until the service is reachable
    kLinkBadEndpoint = -1,       // empty, over 64 bytes, a space or control character, not UTF-8
    kLinkBadText = -2,           // options or command with CR, LF or NUL, or not UTF-8
    kLinkLineTooLong = -3,       // the line would exceed the protocol's 8192 bytes
    kLinkNotOpen = -4,           // send or close through an endpoint this control has not opened
    kLinkTooManyEndpoints = -5,  // more than kMaxEndpoints open at once
};

// Whether a message makes the one received just before it (through the same endpoint, not yet
// raised) worthless: a newer time code, say. The older one is then dropped, so a flood of them
// costs one message per turn of the event loop, and every other message keeps its place.
using Supersedes =
    std::function<bool(std::string_view endpoint, std::string_view older, std::string_view newer)>;

class SocketLink final : public LinkControl, private platform::SocketEvents {
  public:
    // Where the service is found: application "Slinkx", section "Service".
    static constexpr char kSettingsApplication[] = "Slinkx";
    static constexpr char kSettingsSection[] = "Service";
    static constexpr char kHostKey[] = "Host";
    static constexpr char kPortKey[] = "Port";
    static constexpr char kDefaultHost[] = "127.0.0.1";
    static constexpr std::uint16_t kDefaultPort = 47321;

    static constexpr int kFirstRetryMs = 250;  // doubles after each failure
    static constexpr int kMaxRetryMs = 15000;
    static constexpr int kSteadyMs = 15000;         // a connection up this long resets the pause
    static constexpr int kConnectTimeoutMs = 5000;  // connect and the service's first line
    static constexpr int kFinishMs = 300;           // the destructor's wait for the last writes

    static constexpr std::size_t kMaxEndpoints = 64;
    static constexpr std::size_t kMaxSticky = 64;                 // remembered notify/echo requests
    static constexpr std::size_t kMaxQueueBytes = 64 * 1024;      // waiting for a connection
    static constexpr std::size_t kMaxPendingBytes = 1024 * 1024;  // unsent in the socket
    static constexpr std::size_t kMaxInboxBytes = 1024 * 1024;    // messages not yet raised

    explicit SocketLink(platform::Services& services, Supersedes supersedes = {});
    ~SocketLink() override;
    SocketLink(const SocketLink&) = delete;
    SocketLink& operator=(const SocketLink&) = delete;

    // a, b and c are accepted and ignored.
    std::int32_t LinkOpen(std::string& endpoint, const std::string& options, std::int32_t a,
                          std::int32_t b, std::int32_t c) override;
    std::int32_t LinkSend(std::string& endpoint, const std::string& command) override;
    std::int32_t LinkClose(std::string& endpoint) override;

  private:
    enum class State { Idle, Connecting, Handshaking, Ready, Waiting };

    struct Endpoint {
        std::string name;
        std::string options;
    };
    // The last command of a family ("notify_playing_item", "echo") through one endpoint.
    struct Sticky {
        std::string endpoint;
        std::string family;
        std::string command;
    };
    struct Message {
        std::string endpoint;
        std::string text;
    };

    // SocketEvents
    void connected() override;
    void received(std::string_view bytes) override;
    void disconnected() override;

    void submit(std::string line);
    void connect();
    void ready();
    void lost();
    void timerTick();
    void arm(int milliseconds);
    void writeToSocket(std::string_view bytes);
    std::string restoreLines() const;
    void remember(std::string_view endpoint, std::string_view command);
    void dispatch();
    void enqueue(std::string_view endpoint, std::string_view text);
    Endpoint* findEndpoint(std::string_view name);

    platform::Services services_;
    Supersedes supersedes_;
    std::unique_ptr<platform::StreamSocket> socket_;
    std::unique_ptr<platform::Timer> timer_;
    State state_ = State::Idle;
    int retryMs_ = kFirstRetryMs;

    std::vector<Endpoint> endpoints_;  // in the order they were opened
    std::vector<Sticky> sticky_;       // in the order they were last sent
    std::string queue_;                // lines not yet handed to the socket
    bool overflowed_ = false;          // queue_ was dropped: restore from state instead

    link::LineReader reader_;
    std::deque<Message> inbox_;
    std::size_t inboxBytes_ = 0;
    bool dispatching_ = false;
};

class SocketLinkFactory final : public LinkFactory {
  public:
    explicit SocketLinkFactory(platform::Services& services, Supersedes supersedes = {})
        : services_(services), supersedes_(std::move(supersedes)) {}
    std::unique_ptr<LinkControl> createLink() override;

  private:
    platform::Services services_;
    Supersedes supersedes_;
};

}  // namespace velmora::link
