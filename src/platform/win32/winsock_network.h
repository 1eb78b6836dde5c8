// SPDX-License-Identifier: MIT
// Non-blocking TCP streams over Winsock. WSAAsyncSelect turns the sockets' readiness into
// messages for the program's message window, so every event arrives on the UI thread.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "velmora/lifetime.h"
#include "platform/services.h"
#include "platform/win32/win32.h"

namespace velmora::win32 {

class Win32Ui;
class WinsockSocket;

class WinsockNetwork final : public platform::Network {
  public:
    explicit WinsockNetwork(Win32Ui& ui);
    ~WinsockNetwork() override;
    WinsockNetwork(const WinsockNetwork&) = delete;
    WinsockNetwork& operator=(const WinsockNetwork&) = delete;

    std::unique_ptr<platform::StreamSocket> createSocket(platform::SocketEvents& events) override;

  private:
    friend class WinsockSocket;
    void socketMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    Win32Ui& ui_;
    bool started_ = false;
    std::map<SOCKET, WinsockSocket*> sockets_;  // the live ones, by handle
    std::map<HANDLE, WinsockSocket*> lookups_;  // name lookups under way, by task
};

class WinsockSocket final : public platform::StreamSocket {
  public:
    WinsockSocket(WinsockNetwork& network, platform::SocketEvents& events);
    ~WinsockSocket() override;
    WinsockSocket(const WinsockSocket&) = delete;
    WinsockSocket& operator=(const WinsockSocket&) = delete;

    void connectTo(const std::string& host, std::uint16_t port) override;
    void write(std::string_view bytes) override;
    std::size_t pendingBytes() const override { return outbox_.size(); }
    void close() override;
    void finish(int timeoutMs) override;

  private:
    friend class WinsockNetwork;
    enum class State { Closed, Connecting, Connected };

    void start(const sockaddr* address, int length);
    void resolved(int error);
    void event(int what, int error);
    void flush();
    void fail();  // tells the core later, from the message loop
    void release();

    WinsockNetwork& network_;
    platform::SocketEvents& events_;
    SOCKET socket_ = INVALID_SOCKET;
    HANDLE lookup_ = nullptr;  // the name lookup under way
    std::string hostent_;      // where the system writes its answer
    std::uint16_t port_ = 0;
    State state_ = State::Closed;
    std::string outbox_;
    bool announced_ = false;       // connected() was raised for this connection
    unsigned generation_ = 0;      // a posted failure of an earlier connection finds it stale
    velmora::Liveness liveness_;  // for the failures it posts
};

}  // namespace velmora::win32
