// SPDX-License-Identifier: MIT
// Input for a headless KWin, whose seat has no devices: moves the pointer by DX, DY, or presses
// and releases a key (a Linux key code), through KWin's fake-input protocol. KWin offers it to
// every client only when started with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1.
//   kwin-fake-input move DX DY | key CODE
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fake-input-client-protocol.h"

namespace {

org_kde_kwin_fake_input* fakeInput = nullptr;

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fakeInput = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kListener{&global, &globalRemove};

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (!((what == "move" && argc == 4) || (what == "key" && argc == 3))) {
        std::fprintf(stderr, "usage: kwin-fake-input move DX DY | key CODE\n");
        return 1;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "kwin-fake-input: no Wayland compositor\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kListener, nullptr);
    wl_display_roundtrip(display);
    if (!fakeInput) {
        std::fprintf(stderr, "kwin-fake-input: no org_kde_kwin_fake_input version 4\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fakeInput, "velmora e2e", "the test's user");
    if (what == "move") {
        org_kde_kwin_fake_input_pointer_motion(fakeInput, wl_fixed_from_int(std::atoi(argv[2])),
                                               wl_fixed_from_int(std::atoi(argv[3])));
    } else {
        const auto code = static_cast<uint32_t>(std::atoi(argv[2]));
        org_kde_kwin_fake_input_keyboard_key(fakeInput, code, WL_KEYBOARD_KEY_STATE_PRESSED);
        org_kde_kwin_fake_input_keyboard_key(fakeInput, code, WL_KEYBOARD_KEY_STATE_RELEASED);
    }
    // Answered once KWin has handled the requests before it.
    wl_display_roundtrip(display);
    org_kde_kwin_fake_input_destroy(fakeInput);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
