// SPDX-License-Identifier: MIT
#include "platform/qt/qt_timers.h"

#include <algorithm>

namespace velmora::qt {

QtTimer::QtTimer(int milliseconds, bool enabled, std::function<void()> tick)
    : tick_(std::move(tick)) {
    timer_.setInterval(std::max(0, milliseconds));
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (tick_) tick_();
    });
    setEnabled(enabled);
}

void QtTimer::setEnabled(bool enabled) {
    enabled_ = enabled;
    apply();
}

void QtTimer::setInterval(int milliseconds) {
    timer_.setInterval(std::max(0, milliseconds));
    if (timer_.isActive()) timer_.start();  // a new interval counts from now
    apply();
}

// An interval of 0 never fires, as on Windows, rather than spinning. Enabling a running timer
// leaves its count where it is.
void QtTimer::apply() {
    const bool run = enabled_ && timer_.interval() > 0;
    if (run && !timer_.isActive())
        timer_.start();
    else if (!run && timer_.isActive())
        timer_.stop();
}

}  // namespace velmora::qt
