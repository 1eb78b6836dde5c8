// SPDX-License-Identifier: MIT
// Where velmora-idle learns that the session went idle and that the user is back: a Wayland
// compositor's idle protocol or GNOME's idle monitor on the session bus. Each is one descriptor
// for the caller's poll().
#pragma once

#include <poll.h>

#include <memory>
#include <string>

namespace velmora::idle {

class IdleEvents {
  public:
    virtual ~IdleEvents() = default;
    virtual void sessionIdle() = 0;
    virtual void userActive() = 0;
};

class IdleSource {
  public:
    virtual ~IdleSource() = default;
    // What it watches, for the log: "ext_idle_notifier_v1 on wayland-1".
    virtual std::string describe() const = 0;
    // Before poll(): sends what is queued and fills entry. Returns the timeout it needs in
    // milliseconds, -1 for none.
    virtual int prepare(pollfd& entry) = 0;
    // After poll(): handles what arrived. False when the connection is gone.
    virtual bool dispatch(short revents) = 0;
};

// The Wayland compositor named by WAYLAND_DISPLAY: ext_idle_notifier_v1, else org_kde_kwin_idle.
// nullptr, with why in whyNot, when there is no compositor or it offers neither.
std::unique_ptr<IdleSource> openWaylandIdle(unsigned timeoutMs, IdleEvents& events,
                                            std::string& whyNot);

// org.gnome.Mutter.IdleMonitor on the session bus; nullptr with whyNot when it is not there.
// A peer that floods the bus is handled this many messages a turn; signals and the board come
// between, and prepare() then asks for no wait.
inline constexpr int kBusMessagesPerTurn = 64;
std::unique_ptr<IdleSource> openMutterIdle(unsigned timeoutMs, IdleEvents& events,
                                           std::string& whyNot);

}  // namespace velmora::idle
