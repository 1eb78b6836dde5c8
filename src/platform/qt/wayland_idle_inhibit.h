// SPDX-License-Identifier: MIT
// Keeps the compositor from going idle (blanking, dimming, its own idle actions) while a window
// shows, through the Wayland idle-inhibit protocol on the window's own surface. It talks on Qt's
// own Wayland connection, on an event queue of its own so that Qt's never sees its objects.
#pragma once

#include <memory>

class QWindow;

namespace velmora::qt {

class WaylandIdleInhibit {
  public:
    ~WaylandIdleInhibit();
    WaylandIdleInhibit(const WaylandIdleInhibit&) = delete;
    WaylandIdleInhibit& operator=(const WaylandIdleInhibit&) = delete;

    // The inhibitor for the shown window, or nullptr when Qt does not run on Wayland, the window
    // has no surface yet, the compositor lacks the protocol or $VELMORA_NO_IDLE_INHIBIT is set.
    static std::unique_ptr<WaylandIdleInhibit> create(QWindow* window);

    struct Objects;  // the protocol's objects, in the source file

  private:
    explicit WaylandIdleInhibit(std::unique_ptr<Objects> objects);
    std::unique_ptr<Objects> objects_;
};

// Whether Qt runs on Wayland ("wayland", "wayland-egl", ...).
bool onWayland();

}  // namespace velmora::qt
