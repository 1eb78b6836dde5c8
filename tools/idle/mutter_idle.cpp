// SPDX-License-Identifier: MIT
// GNOME's idle monitor: org.gnome.Mutter.IdleMonitor on the session bus. An idle watch fires
// WatchFired each time the session has been idle for its interval; a user-active watch fires once,
// at the next input, and is gone. Watches live as long as our connection.
#include <systemd/sd-bus.h>
#include <time.h>

#include <cstdint>
#include <cstring>

#include "idle_source.h"

namespace velmora::idle {
namespace {

constexpr const char* kService = "org.gnome.Mutter.IdleMonitor";
constexpr const char* kPath = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr const char* kInterface = "org.gnome.Mutter.IdleMonitor";

class MutterIdle final : public IdleSource {
  public:
    MutterIdle(sd_bus* bus, IdleEvents& events) : bus_(bus), events_(events) {}
    ~MutterIdle() override {
        sd_bus_slot_unref(activeCall_);
        sd_bus_slot_unref(ownerMatch_);
        sd_bus_slot_unref(match_);
        sd_bus_flush_close_unref(bus_);
    }

    // Asks for the idle watch; false, with why, when there is no idle monitor to ask.
    bool watch(unsigned timeoutMs, std::string& whyNot);

    std::string describe() const override { return std::string(kService) + " on the session bus"; }
    int prepare(pollfd& entry) override;
    bool dispatch(short revents) override;

  private:
    // Handles what arrived, one turn's worth: below 0 when the bus failed.
    int process();
    static int fired(sd_bus_message* message, void* data, sd_bus_error*);
    static int activeWatchAdded(sd_bus_message* reply, void* data, sd_bus_error*);
    static int ownerChanged(sd_bus_message*, void* data, sd_bus_error*) {
        static_cast<MutterIdle*>(data)->lost_ = true;  // our watches went with the old owner
        return 0;
    }

    sd_bus* bus_;
    IdleEvents& events_;
    sd_bus_slot* match_ = nullptr;
    sd_bus_slot* activeCall_ = nullptr;
    sd_bus_slot* ownerMatch_ = nullptr;
    bool lost_ = false;
    bool more_ = false;  // the last turn ended with messages left
    uint32_t idleWatch_ = 0;
    uint32_t activeWatch_ = 0;
};

bool MutterIdle::watch(unsigned timeoutMs, std::string& whyNot) {
    int r =
        sd_bus_match_signal(bus_, &match_, kService, kPath, kInterface, "WatchFired", &fired, this);
    // A restarted mutter (GNOME on X11 restarts its shell) knows nothing of our watches.
    if (r >= 0)
        r = sd_bus_add_match(bus_, &ownerMatch_,
                             "type='signal',sender='org.freedesktop.DBus',"
                             "member='NameOwnerChanged',arg0='org.gnome.Mutter.IdleMonitor'",
                             &ownerChanged, this);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    if (r >= 0)
        r = sd_bus_call_method(bus_, kService, kPath, kInterface, "AddIdleWatch", &error, &reply,
                               "t", uint64_t{timeoutMs});
    if (r >= 0) r = sd_bus_message_read(reply, "u", &idleWatch_);
    if (r < 0)
        whyNot = std::string("not on the session bus: ") +
                 (error.message ? error.message : std::strerror(-r));
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return r >= 0;
}

int MutterIdle::fired(sd_bus_message* message, void* data, sd_bus_error*) {
    auto* self = static_cast<MutterIdle*>(data);
    uint32_t id = 0;
    if (sd_bus_message_read(message, "u", &id) < 0) return 0;
    if (id != 0 && id == self->idleWatch_) {
        // The next input fires a watch of its own, asked for now.
        if (!self->activeCall_)
            sd_bus_call_method_async(self->bus_, &self->activeCall_, kService, kPath, kInterface,
                                     "AddUserActiveWatch", &activeWatchAdded, self, "");
        self->events_.sessionIdle();
    } else if (id != 0 && id == self->activeWatch_) {
        self->activeWatch_ = 0;
        self->events_.userActive();
    }
    return 0;
}

int MutterIdle::activeWatchAdded(sd_bus_message* reply, void* data, sd_bus_error*) {
    auto* self = static_cast<MutterIdle*>(data);
    self->activeCall_ = sd_bus_slot_unref(self->activeCall_);
    if (sd_bus_message_is_method_error(reply, nullptr) ||
        sd_bus_message_read(reply, "u", &self->activeWatch_) < 0) {
        // Without it the board would show until its own mouse rule ends it.
        self->activeWatch_ = 0;
    }
    return 0;
}

int MutterIdle::process() {
    int r = 0;
    for (int turn = 0; turn < kBusMessagesPerTurn && (r = sd_bus_process(bus_, nullptr)) > 0;
         ++turn) {
    }
    more_ = r > 0;
    return r;
}

int MutterIdle::prepare(pollfd& entry) {
    process();
    entry = {sd_bus_get_fd(bus_), static_cast<short>(sd_bus_get_events(bus_)), 0};
    // The rest of a flood after the loop's other work, without waiting: it may be read already.
    if (more_) return 0;
    uint64_t until = 0;
    if (sd_bus_get_timeout(bus_, &until) < 0 || until == UINT64_MAX) return -1;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t nowUs = uint64_t(now.tv_sec) * 1000000 + uint64_t(now.tv_nsec) / 1000;
    return until <= nowUs ? 0 : static_cast<int>((until - nowUs + 999) / 1000);
}

bool MutterIdle::dispatch(short) {
    return process() >= 0 && !lost_ && sd_bus_is_open(bus_) > 0;
}

}  // namespace

std::unique_ptr<IdleSource> openMutterIdle(unsigned timeoutMs, IdleEvents& events,
                                           std::string& whyNot) {
    sd_bus* bus = nullptr;
    const int r = sd_bus_open_user(&bus);
    if (r < 0) {
        whyNot = std::string("no session bus: ") + std::strerror(-r);
        return nullptr;
    }
    auto source = std::make_unique<MutterIdle>(bus, events);
    if (!source->watch(timeoutMs, whyNot)) return nullptr;
    return source;
}

}  // namespace velmora::idle
