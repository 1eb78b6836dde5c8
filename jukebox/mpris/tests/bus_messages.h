// SPDX-License-Identifier: MIT
// Real sd-bus messages with no bus daemon, for the tests and the fuzz target of their reading: a
// bus on one end of a socket pair may make and seal messages that are then read as received ones.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include <systemd/sd-bus.h>

#include "mpris/value.h"

namespace velmora::jukebox::mpris::testing {

class BusMessages {
  public:
    BusMessages() {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) < 0 || sd_bus_new(&bus_) < 0 ||
            sd_bus_set_fd(bus_, fds[0], fds[0]) < 0 || sd_bus_start(bus_) < 0)
            throw std::runtime_error("no bus to make messages with");
        peer_ = fds[1];
    }
    ~BusMessages() {
        sd_bus_close_unref(bus_);  // no flush: nobody answers at the other end
        ::close(peer_);
    }
    BusMessages(const BusMessages&) = delete;
    BusMessages& operator=(const BusMessages&) = delete;

    // A signal to fill; seal() it before it is read.
    sd_bus_message* signal() {
        sd_bus_message* message = nullptr;
        if (sd_bus_message_new_signal(bus_, &message, "/org/mpris/MediaPlayer2",
                                      "org.freedesktop.DBus.Properties", "PropertiesChanged") < 0)
            throw std::runtime_error("no message");
        return message;
    }
    static bool seal(sd_bus_message* message) { return sd_bus_message_seal(message, 1, 0) >= 0; }

  private:
    sd_bus* bus_ = nullptr;
    int peer_ = -1;
};

// A value as players send it: an array of pairs with text keys as a{sv}, another array as av, the
// rest as the basic type it holds (nothing as a byte 0).
inline std::string signatureOf(const Value& value) {
    if (const auto* array = std::get_if<Value::Array>(&value.data)) {
        for (const Value& entry : *array) {
            const auto* pair = std::get_if<Value::Array>(&entry.data);
            if (!pair || pair->size() != 2 || !std::holds_alternative<std::string>((*pair)[0].data))
                return "av";
        }
        return array->empty() ? "av" : "a{sv}";
    }
    static const char* const basic[] = {"y", "b", "x", "t", "d", "s"};
    return basic[value.data.index()];
}

inline int appendValue(sd_bus_message* m, const Value& value) {
    const std::string signature = signatureOf(value);
    return std::visit(
        [&](const auto& held) -> int {
            using Held = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<Held, std::monostate>) {
                return sd_bus_message_append_basic(m, 'y', "\0");
            } else if constexpr (std::is_same_v<Held, bool>) {
                const int truth = held;
                return sd_bus_message_append_basic(m, 'b', &truth);
            } else if constexpr (std::is_same_v<Held, std::string>) {
                return sd_bus_message_append_basic(m, 's', held.c_str());
            } else if constexpr (std::is_same_v<Held, Value::Array>) {
                const bool dict = signature == "a{sv}";
                int error = sd_bus_message_open_container(m, 'a', signature.c_str() + 1);
                for (const Value& element : held) {
                    if (error < 0) return error;
                    const Value& inner = dict ? std::get<Value::Array>(element.data)[1] : element;
                    if (dict && (error = sd_bus_message_open_container(m, 'e', "sv")) >= 0)
                        error = appendValue(m, std::get<Value::Array>(element.data)[0]);
                    if (error < 0) return error;
                    const std::string innerSignature = signatureOf(inner);
                    if ((error = sd_bus_message_open_container(m, 'v', innerSignature.c_str())) <
                            0 ||
                        (error = appendValue(m, inner)) < 0 ||
                        (error = sd_bus_message_close_container(m)) < 0)
                        return error;
                    if (dict) error = sd_bus_message_close_container(m);
                }
                return error < 0 ? error : sd_bus_message_close_container(m);
            } else {
                return sd_bus_message_append_basic(m, signature[0], &held);
            }
        },
        value.data);
}

}  // namespace velmora::jukebox::mpris::testing
