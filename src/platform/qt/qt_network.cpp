// SPDX-License-Identifier: MIT
#include "platform/qt/qt_network.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace velmora::qt {
namespace {

// Any rate of incoming data leaves the event loop free for the user: the core is handed at most
// this much per turn, and the socket holds at most kReadBuffer, so a faster peer waits on TCP.
constexpr qint64 kChunkBytes = 16 * 1024;
constexpr qint64 kReadBuffer = 64 * 1024;
// On the way out, what a peer still sends is read and dropped only up to this.
constexpr qint64 kMaxDrainBytes = 256 * 1024;

void shutdownWrites(qintptr descriptor) {
#ifdef Q_OS_UNIX
    if (descriptor >= 0) ::shutdown(static_cast<int>(descriptor), SHUT_WR);
#else
    (void)descriptor;
#endif
}

}  // namespace

class QtStreamSocket::Channel final : public QTcpSocket {
  public:
    bool emitting = false;  // inside one of the socket's signals
};

QtStreamSocket::QtStreamSocket(platform::SocketEvents& events)
    : events_(events), socket_(new Channel) {
    socket_->setReadBufferSize(kReadBuffer);
    QObject::connect(socket_, &QTcpSocket::connected, [this] { onConnected(); });
    QObject::connect(socket_, &QTcpSocket::readyRead, [this] { onReadyRead(); });
    QObject::connect(socket_, &QTcpSocket::stateChanged,
                     [this](QAbstractSocket::SocketState state) { onStateChanged(state); });
}

QtStreamSocket::~QtStreamSocket() {
    QObject::disconnect(socket_, nullptr, nullptr, nullptr);
    if (socket_->state() == QAbstractSocket::ConnectedState) {
        // Unread input would make the close a reset, which can cost the peer our last lines; a
        // peer that never stops sending gets the reset.
        qint64 drained = socket_->readAll().size();
        while (drained < kMaxDrainBytes && socket_->waitForReadyRead(0))
            drained += socket_->readAll().size();
        socket_->disconnectFromHost();
    }
    socket_->abort();
    // Deleting a QTcpSocket inside its own signal is not safe: let the event loop do it.
    if (socket_->emitting)
        socket_->deleteLater();
    else
        delete socket_;
}

void QtStreamSocket::connectTo(const std::string& host, std::uint16_t port) {
    velmora::ScopedFlag call(inCall_);
    ++attempt_;
    outbox_.clear();
    socket_->abort();
    socket_->connectToHost(QString::fromStdString(host), port);
    // A connect that failed at once (no such address family, say) is told like any other.
    if (socket_->state() == QAbstractSocket::UnconnectedState) disconnectedLater();
}

void QtStreamSocket::write(std::string_view bytes) {
    if (bytes.empty()) return;
    switch (socket_->state()) {
        case QAbstractSocket::ConnectedState:
            socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
            break;
        case QAbstractSocket::HostLookupState:
        case QAbstractSocket::ConnectingState:
            outbox_.append(bytes);
            break;
        default:
            break;  // nowhere to go: the core learns of the loss through disconnected()
    }
}

std::size_t QtStreamSocket::pendingBytes() const {
    return outbox_.size() + static_cast<std::size_t>(socket_->bytesToWrite());
}

void QtStreamSocket::close() {
    velmora::ScopedFlag call(inCall_);
    ++attempt_;
    outbox_.clear();
    socket_->abort();
}

void QtStreamSocket::finish(int timeoutMs) {
    velmora::ScopedFlag call(inCall_);
    QElapsedTimer clock;
    clock.start();
    const auto left = [&] { return std::max<int>(0, timeoutMs - int(clock.elapsed())); };
    const auto state = socket_->state();
    if (state == QAbstractSocket::HostLookupState || state == QAbstractSocket::ConnectingState)
        socket_->waitForConnected(left());
    while (socket_->state() == QAbstractSocket::ConnectedState && socket_->bytesToWrite() > 0 &&
           left() > 0)
        if (!socket_->waitForBytesWritten(left())) break;
    if (socket_->state() != QAbstractSocket::ConnectedState || socket_->bytesToWrite() > 0) return;

    // A lingering close: say we are done, then read until the peer closes too. Closing with its
    // answers unread would reset the connection, and a reset can cost the peer our last lines.
    // A peer still sending a read buffer's worth after that is not about to close: stop there.
    shutdownWrites(socket_->socketDescriptor());
    qint64 drained = 0;
    while (socket_->state() == QAbstractSocket::ConnectedState && left() > 0 &&
           drained < kReadBuffer) {
        if (!socket_->waitForReadyRead(left())) break;
        drained += socket_->readAll().size();
    }
}

void QtStreamSocket::onConnected() {
    if (!outbox_.empty()) {
        socket_->write(outbox_.data(), static_cast<qint64>(outbox_.size()));
        outbox_.clear();
    }
    if (inCall_) return;  // finish() on the way out: nobody listens any more
    velmora::ScopedFlag signal(socket_->emitting);
    events_.connected();
}

void QtStreamSocket::onReadyRead() {
    if (inCall_) return;  // the bytes stay buffered for the next readyRead
    deliver(kChunkBytes);
    // The rest waits for the next turn, after whatever else (a mouse move) came meanwhile.
    if (moreLater_ || socket_->bytesAvailable() == 0) return;
    moreLater_ = true;
    QTimer::singleShot(0, liveness_.guard([this] {
        moreLater_ = false;
        if (socket_->bytesAvailable() > 0) onReadyRead();
    }));
}

void QtStreamSocket::deliver(qint64 limit) {
    const auto self = liveness_.watch();
    velmora::ScopedFlag signal(socket_->emitting);
    while (self.alive() && limit > 0 && socket_->bytesAvailable() > 0) {
        const QByteArray bytes = socket_->read(limit);
        limit -= bytes.size();
        events_.received(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    }
}

void QtStreamSocket::onStateChanged(QAbstractSocket::SocketState state) {
    if (state != QAbstractSocket::UnconnectedState) return;
    if (inCall_) return;  // our own abort, or a failure that connectTo reports later
    const auto self = liveness_.watch();
    deliver(kReadBuffer);  // what the peer sent before it went
    if (!self.alive()) return;
    velmora::ScopedFlag signal(socket_->emitting);
    events_.disconnected();
}

void QtStreamSocket::disconnectedLater() {
    const int attempt = attempt_;
    QTimer::singleShot(0, liveness_.guard([this, attempt] {
        if (attempt == attempt_ && socket_->state() == QAbstractSocket::UnconnectedState)
            events_.disconnected();
    }));
}

}  // namespace velmora::qt
