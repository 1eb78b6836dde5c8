// SPDX-License-Identifier: MIT
// velmora-idle: shows the now-playing board when the desktop goes idle and ends it when the user
// is back, on Wayland desktops (the compositor's idle protocol) and GNOME (mutter's idle monitor).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "idle_source.h"
#include "options.h"
#include "service.h"

using namespace velmora::idle;

int main(int argc, char** argv) {
    std::string error;
    const auto options = parseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        std::fprintf(stderr, "velmora-idle: %s\n%s", error.c_str(), kUsage);
        return 1;
    }
    if (options->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    const int signals = openStopSignals();
    if (signals < 0) {
        std::fprintf(stderr, "velmora-idle: cannot watch for signals: %s\n", std::strerror(errno));
        return 1;
    }

    Service service(boardBesideUs());
    std::string whyNotWayland, whyNotMutter;
    auto source = openWaylandIdle(options->afterMs, service, whyNotWayland);
    if (!source) source = openMutterIdle(options->afterMs, service, whyNotMutter);
    // A Wayland session's board on its compositor, whatever the session type says; X11 where
    // the Wayland platform is missing.
    const char* display = std::getenv("WAYLAND_DISPLAY");
    if (display && *display) setenv("QT_QPA_PLATFORM", "wayland;xcb", 0);
    if (!source) {
        std::fprintf(stderr,
                     "velmora-idle: found no idle watch to use\n"
                     "  Wayland (ext_idle_notifier_v1, org_kde_kwin_idle): %s\n"
                     "  GNOME (org.gnome.Mutter.IdleMonitor): %s\n",
                     whyNotWayland.c_str(), whyNotMutter.c_str());
        return 2;
    }
    std::printf("velmora-idle: watching %s; the board after %.3g s without input\n",
                source->describe().c_str(), options->afterMs / 1000.0);
    return service.run(*source, signals);
}
