// SPDX-License-Identifier: MIT
// Stream sockets on QTcpSocket. Events reach the core from the event loop, never from inside one
// of the socket's own calls.
#pragma once

#include <QAbstractSocket>
#include <memory>
#include <string>

#include "velmora/lifetime.h"
#include "platform/services.h"

namespace velmora::qt {

class QtStreamSocket final : public platform::StreamSocket {
  public:
    explicit QtStreamSocket(platform::SocketEvents& events);
    ~QtStreamSocket() override;
    QtStreamSocket(const QtStreamSocket&) = delete;
    QtStreamSocket& operator=(const QtStreamSocket&) = delete;

    void connectTo(const std::string& host, std::uint16_t port) override;
    void write(std::string_view bytes) override;
    std::size_t pendingBytes() const override;
    void close() override;
    // Also ends the connection gracefully: no write may follow.
    void finish(int timeoutMs) override;

  private:
    void onConnected();
    void onReadyRead();
    // Hands the core at most `limit` bytes of what has arrived.
    void deliver(qint64 limit);
    void onStateChanged(QAbstractSocket::SocketState state);
    void disconnectedLater();

    // The QTcpSocket, with a mark that it is telling us something. It outlives us when the core
    // lets go of us from inside one of its events, so the mark stays readable until then.
    class Channel;

    platform::SocketEvents& events_;
    Channel* socket_;      // ours; deleted late when we go while it is telling us something
    std::string outbox_;   // written while the connect is under way
    bool inCall_ = false;  // inside one of our own calls: events wait for the event loop
    int attempt_ = 0;      // counts connects and closes, so a late event of an old one is dropped
    bool moreLater_ = false;       // a turn of the event loop is booked for what is still buffered
    velmora::Liveness liveness_;  // the core may let go of us from inside one of our events
};

class QtNetwork final : public platform::Network {
  public:
    std::unique_ptr<platform::StreamSocket> createSocket(platform::SocketEvents& events) override {
        return std::make_unique<QtStreamSocket>(events);
    }
};

}  // namespace velmora::qt
