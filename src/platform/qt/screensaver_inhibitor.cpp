// SPDX-License-Identifier: MIT
#include "platform/qt/screensaver_inhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace velmora::qt {
namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
constexpr int kTimeoutMs = 500;

QDBusMessage call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

}  // namespace

// The answer comes later; the board does not wait for it.
void ScreenSaverInhibitor::inhibit() {
    releaseWanted_ = false;
    if (cookie_ || asking_) return;
    QDBusConnection bus = this->bus();
    if (!bus.isConnected()) return;
    QDBusMessage message = call(QStringLiteral("Inhibit"));
    message << QStringLiteral("Velmora2000") << QStringLiteral("Showing the now-playing board");
    asking_ = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<std::uint32_t> reply = *w;
        w->deleteLater();
        inhibitAnswered(reply.isValid() ? std::optional(reply.value()) : std::nullopt);
    });
}

void ScreenSaverInhibitor::inhibitAnswered(std::optional<std::uint32_t> cookie) {
    asking_ = false;
    cookie_ = cookie;
    if (releaseWanted_) release();
}

void ScreenSaverInhibitor::release() {
    if (asking_) {
        releaseWanted_ = true;
        return;
    }
    releaseWanted_ = false;
    if (!cookie_) return;
    sendUnInhibit(*cookie_);
    cookie_.reset();
}

void ScreenSaverInhibitor::sendUnInhibit(std::uint32_t cookie) {
    QDBusMessage message = call(QStringLiteral("UnInhibit"));
    message << cookie;
    // Waited for: the program may end right after, and the message must not be lost with it.
    bus().call(message, QDBus::Block, kTimeoutMs);
}

QDBusConnection ScreenSaverInhibitor::bus() {
    if (!bus_) bus_ = QDBusConnection::sessionBus();
    return *bus_;
}

}  // namespace velmora::qt
