// SPDX-License-Identifier: MIT
// The idle protocols of Wayland compositors: ext_idle_notifier_v1 (recent KDE Plasma, sway and
// Hyprland), else KDE's older org_kde_kwin_idle (older Plasma; the only one of sway 1.7). Both
// send "idle" after the timeout without input and "resumed" at the next input.
#include <wayland-client.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"
#include "idle_source.h"

namespace velmora::idle {
namespace {

class WaylandIdle final : public IdleSource {
  public:
    WaylandIdle(wl_display* display, IdleEvents& events) : display_(display), events_(events) {}
    ~WaylandIdle() override;

    // Binds what the compositor offers; false when it offers no idle protocol (or no seat).
    bool bind(unsigned timeoutMs);
    std::string whyNot() const;

    std::string describe() const override;
    int prepare(pollfd& entry) override;
    bool dispatch(short revents) override;

  private:
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version);
    static void globalRemove(void*, wl_registry*, uint32_t) {}
    static void idled(void* data, ext_idle_notification_v1*) {
        static_cast<WaylandIdle*>(data)->events_.sessionIdle();
    }
    static void resumed(void* data, ext_idle_notification_v1*) {
        static_cast<WaylandIdle*>(data)->events_.userActive();
    }
    static void kdeIdle(void* data, org_kde_kwin_idle_timeout*) {
        static_cast<WaylandIdle*>(data)->events_.sessionIdle();
    }
    static void kdeResumed(void* data, org_kde_kwin_idle_timeout*) {
        static_cast<WaylandIdle*>(data)->events_.userActive();
    }

    static constexpr wl_registry_listener registryListener_{&global, &globalRemove};
    static constexpr ext_idle_notification_v1_listener notificationListener_{&idled, &resumed};
    static constexpr org_kde_kwin_idle_timeout_listener kdeListener_{&kdeIdle, &kdeResumed};

    wl_display* display_;
    IdleEvents& events_;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    ext_idle_notifier_v1* notifier_ = nullptr;
    ext_idle_notification_v1* notification_ = nullptr;
    org_kde_kwin_idle* kdeIdle_ = nullptr;
    org_kde_kwin_idle_timeout* kdeTimeout_ = nullptr;
};

WaylandIdle::~WaylandIdle() {
    if (notification_) ext_idle_notification_v1_destroy(notification_);
    if (notifier_) ext_idle_notifier_v1_destroy(notifier_);
    if (kdeTimeout_) org_kde_kwin_idle_timeout_release(kdeTimeout_);
    if (kdeIdle_) org_kde_kwin_idle_destroy(kdeIdle_);
    if (seat_) wl_seat_destroy(seat_);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

void WaylandIdle::global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                         uint32_t) {
    auto* self = static_cast<WaylandIdle*>(data);
    const auto bindOne = [&](auto*& proxy, const wl_interface* wanted) {
        using Proxy = std::remove_reference_t<decltype(proxy)>;
        if (!proxy && std::strcmp(interface, wanted->name) == 0)
            proxy = static_cast<Proxy>(wl_registry_bind(registry, name, wanted, 1));
    };
    bindOne(self->seat_, &wl_seat_interface);  // the first seat
    bindOne(self->notifier_, &ext_idle_notifier_v1_interface);
    bindOne(self->kdeIdle_, &org_kde_kwin_idle_interface);
}

bool WaylandIdle::bind(unsigned timeoutMs) {
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &registryListener_, this);
    if (wl_display_roundtrip(display_) < 0 || !seat_) return false;
    if (!notifier_ && !kdeIdle_) return false;
    // Both protocols fall silent while a surface inhibits idle (KWin sends no "resumed" then,
    // sway 1.7 nothing at all), so the board we start must not: the user's key press would never
    // reach us.
    setenv("VELMORA_NO_IDLE_INHIBIT", "1", 1);
    if (notifier_) {
        notification_ = ext_idle_notifier_v1_get_idle_notification(notifier_, timeoutMs, seat_);
        ext_idle_notification_v1_add_listener(notification_, &notificationListener_, this);
    } else {
        kdeTimeout_ = org_kde_kwin_idle_get_idle_timeout(kdeIdle_, seat_, timeoutMs);
        org_kde_kwin_idle_timeout_add_listener(kdeTimeout_, &kdeListener_, this);
    }
    return wl_display_flush(display_) >= 0 || errno == EAGAIN;
}

std::string WaylandIdle::whyNot() const {
    if (!seat_) return "the Wayland compositor offers no seat";
    return "the Wayland compositor offers neither ext_idle_notifier_v1 nor org_kde_kwin_idle";
}

std::string WaylandIdle::describe() const {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    return std::string(notifier_ ? "ext_idle_notifier_v1" : "org_kde_kwin_idle") + " on " +
           (name && *name ? name : "wayland-0");
}

int WaylandIdle::prepare(pollfd& entry) {
    wl_display_dispatch_pending(display_);
    wl_display_flush(display_);
    entry = {wl_display_get_fd(display_), POLLIN, 0};
    return -1;
}

bool WaylandIdle::dispatch(short revents) {
    if (revents & (POLLERR | POLLHUP)) return false;
    if (revents & POLLIN) return wl_display_dispatch(display_) >= 0;
    return true;
}

}  // namespace

std::unique_ptr<IdleSource> openWaylandIdle(unsigned timeoutMs, IdleEvents& events,
                                            std::string& whyNot) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name) {
        whyNot = "WAYLAND_DISPLAY is not set";
        return nullptr;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        whyNot = std::string("no Wayland compositor at ") + name + ": " + std::strerror(errno);
        return nullptr;
    }
    auto source = std::make_unique<WaylandIdle>(display, events);
    if (!source->bind(timeoutMs)) {
        whyNot = source->whyNot();
        return nullptr;
    }
    return source;
}

}  // namespace velmora::idle
