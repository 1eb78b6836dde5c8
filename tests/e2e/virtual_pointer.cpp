// SPDX-License-Identifier: MIT
// A mouse for a headless wlroots compositor, whose seat has none: moves a virtual pointer to each
// position given, a tenth of a second apart, each move its own pointer frame. Prints the wall
// clock (ms since the epoch) at which the compositor had each move.
//   virtual-pointer WIDTH HEIGHT X Y [X Y]...   (positions in an output of WIDTH x HEIGHT)
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

wl_seat* seat = nullptr;
zwlr_virtual_pointer_manager_v1* manager = nullptr;

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (!seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kListener{&global, &globalRemove};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: virtual-pointer WIDTH HEIGHT X Y [X Y]...\n");
        return 1;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "virtual-pointer: no Wayland compositor\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kListener, nullptr);
    wl_display_roundtrip(display);
    if (!manager) {
        std::fprintf(stderr, "virtual-pointer: no zwlr_virtual_pointer_manager_v1\n");
        return 1;
    }
    auto* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    // The seat gains a pointer: clients take theirs first, or the first move would reach them
    // only as the position where the pointer entered.
    wl_display_roundtrip(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto width = static_cast<uint32_t>(std::atoi(argv[1]));
    const auto height = static_cast<uint32_t>(std::atoi(argv[2]));
    for (int i = 3; i + 1 < argc; i += 2) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
        zwlr_virtual_pointer_v1_motion_absolute(
            pointer, static_cast<uint32_t>(ms), static_cast<uint32_t>(std::atoi(argv[i])),
            static_cast<uint32_t>(std::atoi(argv[i + 1])), width, height);
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
        const auto at = std::chrono::system_clock::now().time_since_epoch();
        std::printf("%lld\n",
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(at).count()));
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // Without the protocol's destroy request, the pointer goes with the connection.
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(manager);
    if (seat) wl_seat_destroy(seat);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
