// SPDX-License-Identifier: MIT
#include "platform/win32/winsock_network.h"

#include <chrono>
#include <cstring>

#include "platform/win32/win32_ui.h"

namespace velmora::win32 {

namespace {

constexpr int kReadChunk = 64 * 1024;

bool wouldBlock() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

}  // namespace

WinsockNetwork::WinsockNetwork(Win32Ui& ui) : ui_(ui) {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    ui_.onSocketMessage([this](UINT m, WPARAM w, LPARAM l) { socketMessage(m, w, l); });
}

WinsockNetwork::~WinsockNetwork() {
    ui_.onSocketMessage(nullptr);
    if (started_) WSACleanup();
}

std::unique_ptr<platform::StreamSocket> WinsockNetwork::createSocket(
    platform::SocketEvents& events) {
    return std::make_unique<WinsockSocket>(*this, events);
}

void WinsockNetwork::socketMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // A message queued for a socket or a lookup ended since then finds nothing.
    if (msg == Win32Ui::kLookupMessage) {
        auto lookup = lookups_.find(reinterpret_cast<HANDLE>(wParam));
        if (lookup != lookups_.end()) lookup->second->resolved(WSAGETASYNCERROR(lParam));
        return;
    }
    auto found = sockets_.find(static_cast<SOCKET>(wParam));
    if (found == sockets_.end()) return;
    found->second->event(WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
}

WinsockSocket::WinsockSocket(WinsockNetwork& network, platform::SocketEvents& events)
    : network_(network), events_(events) {}

WinsockSocket::~WinsockSocket() {
    release();
}

void WinsockSocket::connectTo(const std::string& host, std::uint16_t port) {
    release();
    ++generation_;
    outbox_.clear();
    state_ = State::Connecting;  // writes wait from here on
    announced_ = false;
    port_ = port;

    // An address given as a number needs no lookup.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) == 0 && found) {
        start(found->ai_addr, static_cast<int>(found->ai_addrlen));
        freeaddrinfo(found);
        return;
    }
    // A name: the system looks it up and answers on the message window, so the UI never waits.
    hostent_.assign(MAXGETHOSTSTRUCT, '\0');
    lookup_ = WSAAsyncGetHostByName(network_.ui_.messageWindow(), Win32Ui::kLookupMessage,
                                    host.c_str(), hostent_.data(), MAXGETHOSTSTRUCT);
    if (!lookup_) {
        fail();
        return;
    }
    network_.lookups_[lookup_] = this;
}

void WinsockSocket::resolved(int error) {
    network_.lookups_.erase(lookup_);
    lookup_ = nullptr;
    const auto* entry = reinterpret_cast<const hostent*>(hostent_.data());
    if (error != 0 || entry->h_addrtype != AF_INET || !entry->h_addr_list[0]) {
        fail();
        return;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    memcpy(&address.sin_addr, entry->h_addr_list[0], sizeof address.sin_addr);
    start(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

void WinsockSocket::start(const sockaddr* address, int length) {
    socket_ = socket(address->sa_family, SOCK_STREAM, IPPROTO_TCP);
    bool started = socket_ != INVALID_SOCKET &&
                   WSAAsyncSelect(socket_, network_.ui_.messageWindow(), Win32Ui::kSocketMessage,
                                  FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) == 0;
    if (started) {
        network_.sockets_[socket_] = this;
        started = connect(socket_, address, length) == 0 || wouldBlock();
    }
    if (!started) fail();
}

void WinsockSocket::write(std::string_view bytes) {
    if (state_ == State::Closed) return;
    outbox_.append(bytes);
    if (state_ == State::Connected) flush();
}

void WinsockSocket::close() {
    if (socket_ != INVALID_SOCKET && state_ == State::Connected) shutdown(socket_, SD_SEND);
    release();
    ++generation_;
}

void WinsockSocket::release() {
    if (lookup_) {
        WSACancelAsyncRequest(lookup_);
        network_.lookups_.erase(lookup_);
        lookup_ = nullptr;
    }
    if (socket_ != INVALID_SOCKET) {
        network_.sockets_.erase(socket_);
        closesocket(socket_);  // unsent data still leaves, in the background
        socket_ = INVALID_SOCKET;
    }
    state_ = State::Closed;
}

void WinsockSocket::fail() {
    release();
    const unsigned generation = generation_;
    network_.ui_.post(liveness_.guard([this, generation] {
        if (generation == generation_) events_.disconnected();
    }));
}

void WinsockSocket::flush() {
    while (!outbox_.empty()) {
        const int chunk = static_cast<int>(std::min<size_t>(outbox_.size(), 1 << 20));
        const int sent = send(socket_, outbox_.data(), chunk, 0);
        if (sent > 0) {
            outbox_.erase(0, static_cast<size_t>(sent));
            continue;
        }
        if (!wouldBlock()) fail();
        return;  // FD_WRITE comes when there is room again
    }
}

void WinsockSocket::event(int what, int error) {
    switch (what) {
        case FD_CONNECT:
            if (state_ == State::Closed || announced_) return;
            if (error != 0) {
                fail();
                return;
            }
            state_ = State::Connected;
            flush();
            if (state_ != State::Connected) return;
            announced_ = true;
            events_.connected();
            return;
        case FD_WRITE:
            if (state_ == State::Connected) flush();
            return;
        case FD_READ:
        case FD_CLOSE: {
            if (state_ != State::Connected) return;
            char buffer[kReadChunk];
            for (;;) {
                const int got = recv(socket_, buffer, sizeof buffer, 0);
                if (got > 0) {
                    const unsigned generation = generation_;
                    events_.received(std::string_view(buffer, static_cast<size_t>(got)));
                    if (generation != generation_ || state_ != State::Connected) return;
                    if (what == FD_READ) return;  // Winsock posts FD_READ again while data waits
                    continue;
                }
                if (got < 0 && wouldBlock()) return;  // a stale notice
                release();                            // the peer closed, or the line broke
                events_.disconnected();
                return;
            }
        }
        default:
            return;
    }
}

void WinsockSocket::finish(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (socket_ != INVALID_SOCKET && (state_ == State::Connecting || !outbox_.empty())) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0) return;
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socket_, &writable);
        FD_SET(socket_, &failed);
        timeval wait{static_cast<long>(left.count() / 1000000),
                     static_cast<long>(left.count() % 1000000)};
        if (select(0, nullptr, &writable, &failed, &wait) <= 0 || FD_ISSET(socket_, &failed))
            return;
        state_ = State::Connected;  // the FD_CONNECT still queued will announce it
        const int sent = send(socket_, outbox_.data(), static_cast<int>(outbox_.size()), 0);
        if (sent > 0)
            outbox_.erase(0, static_cast<size_t>(sent));
        else if (sent < 0 && !wouldBlock())
            return;
    }
}

}  // namespace velmora::win32
