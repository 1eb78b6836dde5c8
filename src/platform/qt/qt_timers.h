// SPDX-License-Identifier: MIT
// Timers on the UI thread's event loop.
#pragma once

#include <QTimer>

#include "platform/services.h"

namespace velmora::qt {

class QtTimer final : public platform::Timer {
  public:
    QtTimer(int milliseconds, bool enabled, std::function<void()> tick);
    void setEnabled(bool enabled) override;
    bool enabled() const override { return enabled_; }
    void setInterval(int milliseconds) override;

  private:
    void apply();

    QTimer timer_;
    bool enabled_ = false;
    std::function<void()> tick_;
};

class QtTimers final : public platform::Timers {
  public:
    std::unique_ptr<platform::Timer> createTimer(int milliseconds, bool enabled,
                                                 std::function<void()> tick) override {
        return std::make_unique<QtTimer>(milliseconds, enabled, std::move(tick));
    }
};

}  // namespace velmora::qt
