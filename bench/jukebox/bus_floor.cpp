// SPDX-License-Identifier: MIT
// The floor for the bridge's figures: a bare sd-bus client that calls a player's Next and waits for
// the PropertiesChanged that tells the new track, as the bridge receives it, with nothing else on
// the way. Prints "sent received" (CLOCK_MONOTONIC, seconds) for each change.
//   velmora-mpris-floor BUSNAME RUNS PAUSE_MS
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <systemd/sd-bus.h>

namespace {

double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

bool changed = false;
std::string lastTitle;

bool tagsOnly = false;

// The title in a Metadata variant; nothing when there is none, or when only tags count and the
// title is the file's name (players announce that first).
std::string titleIn(sd_bus_message* message) {
    std::string title;
    std::string url;
    if (sd_bus_message_enter_container(message, 'v', "a{sv}") <= 0) return title;
    sd_bus_message_enter_container(message, 'a', "{sv}");
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
        const char* key = nullptr;
        const char* text = nullptr;
        sd_bus_message_read(message, "s", &key);
        const bool wanted =
            key && (std::strcmp(key, "xesam:title") == 0 || std::strcmp(key, "xesam:url") == 0);
        if (wanted && sd_bus_message_read(message, "v", "s", &text) >= 0 && text)
            (key[6] == 't' ? title : url) = text;
        else
            sd_bus_message_skip(message, "v");
        sd_bus_message_exit_container(message);
    }
    sd_bus_message_exit_container(message);
    sd_bus_message_exit_container(message);
    if (tagsOnly && url.ends_with("/" + title)) return {};
    return title;
}

// Only the message that names the new track counts: players first clear their metadata.
int onChanged(sd_bus_message* message, void*, sd_bus_error*) {
    const char* interface = nullptr;
    if (sd_bus_message_read(message, "s", &interface) < 0) return 0;
    if (sd_bus_message_enter_container(message, 'a', "{sv}") < 0) return 0;
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read(message, "s", &key) < 0) return 0;
        if (std::strcmp(key, "Metadata") == 0) {
            const std::string title = titleIn(message);
            if (!title.empty() && title != lastTitle) {
                lastTitle = title;
                changed = true;
            }
        } else {
            sd_bus_message_skip(message, "v");
        }
        sd_bus_message_exit_container(message);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: velmora-mpris-floor BUSNAME RUNS PAUSE_MS [tags]\n");
        return 2;
    }
    tagsOnly = argc == 5 && std::strcmp(argv[4], "tags") == 0;
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return 1;
    const std::string rule = std::string("type='signal',sender='") + argv[1] +
                             "',interface='org.freedesktop.DBus.Properties',"
                             "member='PropertiesChanged',path='/org/mpris/MediaPlayer2'";
    if (sd_bus_add_match(bus, nullptr, rule.c_str(), onChanged, nullptr) < 0) return 1;
    // The title playing now: a player may repeat it (VLC, as it stops between two tracks).
    sd_bus_message* metadata = nullptr;
    if (sd_bus_call_method(bus, argv[1], "/org/mpris/MediaPlayer2",
                           "org.freedesktop.DBus.Properties", "Get", nullptr, &metadata, "ss",
                           "org.mpris.MediaPlayer2.Player", "Metadata") >= 0) {
        lastTitle = titleIn(metadata);
        sd_bus_message_unref(metadata);
    }
    const int runs = std::atoi(argv[2]);
    const timespec pause{std::atoi(argv[3]) / 1000, (std::atoi(argv[3]) % 1000) * 1000000L};
    for (int run = 0; run < runs; ++run) {
        changed = false;
        const double sent = now();
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        if (sd_bus_call_method(bus, argv[1], "/org/mpris/MediaPlayer2",
                               "org.mpris.MediaPlayer2.Player", "Next", &error, &reply, "") < 0)
            return 1;
        sd_bus_message_unref(reply);
        while (!changed) {
            const int processed = sd_bus_process(bus, nullptr);
            if (processed < 0) return 1;
            if (processed == 0 && sd_bus_wait(bus, 2000000) <= 0) break;
        }
        std::printf("%.6f %.6f %s\n", sent, changed ? now() : -1.0, lastTitle.c_str());
        std::fflush(stdout);
        nanosleep(&pause, nullptr);
    }
    sd_bus_flush_close_unref(bus);
    return 0;
}
