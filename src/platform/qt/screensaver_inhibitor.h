// SPDX-License-Identifier: MIT
// Keeps the desktop's own screen saver away while the board runs, through the freedesktop
// ScreenSaver interface on the D-Bus session bus. Without a session bus, or without a service
// there, it does nothing.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <cstdint>
#include <optional>

namespace velmora::qt {

class ScreenSaverInhibitor final : public QObject {
  public:
    // Talks on the session bus, connected at the first inhibit(); or on the bus given.
    ScreenSaverInhibitor() = default;
    explicit ScreenSaverInhibitor(QDBusConnection bus) : bus_(std::move(bus)) {}

    void inhibit();
    void release();
    bool inhibited() const { return cookie_.has_value(); }

  private:
    QDBusConnection bus();
    void inhibitAnswered(std::optional<std::uint32_t> cookie);
    void sendUnInhibit(std::uint32_t cookie);

    std::optional<QDBusConnection> bus_;
    std::optional<std::uint32_t> cookie_;
    bool asking_ = false;         // an Inhibit is on its way
    bool releaseWanted_ = false;  // release() came while it was
};

}  // namespace velmora::qt
