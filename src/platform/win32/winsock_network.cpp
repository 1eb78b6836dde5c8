#include "platform/win32/winsock_network.h"

#include <chrono>

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
    ui_.onSocketMessage([this](WPARAM w, LPARAM l) { socketMessage(w, l); });
}

WinsockNetwork::~WinsockNetwork() {
    ui_.onSocketMessage(nullptr);
    if (started_) WSACleanup();
}

std::unique_ptr<platform::StreamSocket> WinsockNetwork::createSocket(
    platform::SocketEvents& events) {
    return std::make_unique<WinsockSocket>(*this, events);
}

void WinsockNetwork::socketMessage(WPARAM wParam, LPARAM lParam) {
    // A message queued for a socket closed since then finds nothing.
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

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    // HACK: a name lookup blocks; the service's address is a number or a name the hosts file or
    // the local resolver's cache answers at once, so the wait stays short.
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
        fail();
        return;
    }
    socket_ = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    bool started = socket_ != INVALID_SOCKET &&
                   WSAAsyncSelect(socket_, network_.ui_.messageWindow(), Win32Ui::kSocketMessage,
                                  FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) == 0;
    if (started) {
        network_.sockets_[socket_] = this;
        started = connect(socket_, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0 ||
                  wouldBlock();
    }
    freeaddrinfo(found);
    if (!started) {
        release();
        fail();
        return;
    }
    state_ = State::Connecting;
    announced_ = false;
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
    network_.ui_.post([this, generation, alive = std::weak_ptr<char>(alive_)] {
        if (!alive.expired() && generation == generation_) events_.disconnected();
    });
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
