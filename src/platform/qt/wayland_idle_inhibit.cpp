// SPDX-License-Identifier: MIT
#include "platform/qt/wayland_idle_inhibit.h"

#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include <QGuiApplication>
#include <QWindow>
#include <cstring>

#include "idle-inhibit-unstable-v1-client-protocol.h"

namespace velmora::qt {

struct WaylandIdleInhibit::Objects {
    wl_display* display = nullptr;
    wl_event_queue* queue = nullptr;
    wl_display* wrapper = nullptr;  // the display's proxy, sending on our queue
    zwp_idle_inhibit_manager_v1* manager = nullptr;
    zwp_idle_inhibitor_v1* inhibitor = nullptr;

    ~Objects() {
        if (inhibitor) zwp_idle_inhibitor_v1_destroy(inhibitor);
        if (manager) zwp_idle_inhibit_manager_v1_destroy(manager);
        if (wrapper) wl_proxy_wrapper_destroy(wrapper);
        if (display) wl_display_flush(display);
        if (queue) wl_event_queue_destroy(queue);
    }
};

namespace {

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* objects = static_cast<WaylandIdleInhibit::Objects*>(data);
    if (!objects->manager &&
        std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) == 0)
        objects->manager = static_cast<zwp_idle_inhibit_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
}

void globalRemove(void*, wl_registry*, uint32_t) {}

constexpr wl_registry_listener kRegistryListener{&global, &globalRemove};

}  // namespace

bool onWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

WaylandIdleInhibit::WaylandIdleInhibit(std::unique_ptr<Objects> objects)
    : objects_(std::move(objects)) {}

WaylandIdleInhibit::~WaylandIdleInhibit() = default;

std::unique_ptr<WaylandIdleInhibit> WaylandIdleInhibit::create(QWindow* window) {
    // HACK: a watcher on org_kde_kwin_idle (velmora-idle on sway 1.7) hears nothing from
    // an inhibited session, not even the key press that should end the board: it asks us not to.
    if (qEnvironmentVariableIsSet("VELMORA_NO_IDLE_INHIBIT")) return nullptr;
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    if (!onWayland() || !native || !window) return nullptr;
    auto* display = static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"));
    auto* surface = static_cast<wl_surface*>(native->nativeResourceForWindow("surface", window));
    if (!display || !surface) return nullptr;

    auto objects = std::make_unique<Objects>();
    objects->display = display;
    objects->queue = wl_display_create_queue(display);
    objects->wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(objects->wrapper), objects->queue);
    wl_registry* registry = wl_display_get_registry(objects->wrapper);
    wl_registry_add_listener(registry, &kRegistryListener, objects.get());
    const int answered = wl_display_roundtrip_queue(display, objects->queue);
    wl_registry_destroy(registry);
    if (answered < 0 || !objects->manager) return nullptr;
    objects->inhibitor = zwp_idle_inhibit_manager_v1_create_inhibitor(objects->manager, surface);
    wl_display_flush(display);
    return std::unique_ptr<WaylandIdleInhibit>(new WaylandIdleInhibit(std::move(objects)));
}

}  // namespace velmora::qt
