// SPDX-License-Identifier: MIT
#include "mpris/bus.h"

#include <poll.h>
#include <time.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

#include <systemd/sd-bus.h>
#include <asio/post.hpp>

namespace velmora::jukebox::mpris {

namespace {

constexpr std::size_t kMaxStringBytes = 24 * 1024 * 1024;
constexpr std::uint64_t kCallTimeoutUs = 5 * 1000 * 1000;

// What is left of a message's bounds while it is read.
struct Budget {
    const DecodeLimits& limits;
    std::size_t spent = 0;

    bool take(std::size_t bytes) {
        if (bytes > limits.total - spent) return false;
        spent += bytes;
        return true;
    }
};

// The handler behind a slot lives as long as the slot: sd-bus frees it with the slot.
int dispatch(sd_bus_message* message, void* userdata, sd_bus_error*) {
    try {
        Message wrapped;
        const char* sender = sd_bus_message_get_sender(message);
        wrapped.sender = sender ? sender : "";
        if (const sd_bus_error* error = sd_bus_message_get_error(message))
            wrapped.error = error->name ? error->name : "org.freedesktop.DBus.Error.Failed";
        // A message that reads as nothing is handed on with no arguments: a reply is still owed.
        if (auto arguments = decodeArguments(message)) wrapped.arguments = std::move(*arguments);
        (*static_cast<MessageBus::Handler*>(userdata))(wrapped);
    } catch (const std::exception&) {
        // A handler that cannot finish (out of memory) loses this message, not the service.
    }
    return 0;
}

void freeHandler(void* userdata) {
    delete static_cast<MessageBus::Handler*>(userdata);
}

// The bus then holds the slot: it goes, with its handler, after the reply or with the bus. Floating
// adds the bus's reference; the one sd-bus handed us is given up here, or every call would keep
// its slot and handler for the service's whole life.
void adopt(sd_bus_slot* slot) {
    sd_bus_slot_set_destroy_callback(slot, freeHandler);
    sd_bus_slot_set_floating(slot, 1);
    sd_bus_slot_unref(slot);
}

template <class Raw, class Stored>
bool readBasic(sd_bus_message* m, char type, Value& out) {
    Raw raw{};
    if (sd_bus_message_read_basic(m, type, &raw) < 0) return false;
    out = Value(Stored(raw));
    return true;
}

bool readInto(sd_bus_message* m, Value& out, std::size_t depth, Budget& budget) {
    char type = 0;
    const char* contents = nullptr;
    if (depth > budget.limits.depth || sd_bus_message_peek_type(m, &type, &contents) <= 0)
        return false;
    if (!budget.take(sizeof(Value))) return false;
    switch (type) {
        case SD_BUS_TYPE_BYTE:
            return readBasic<std::uint8_t, std::uint64_t>(m, type, out);
        case SD_BUS_TYPE_BOOLEAN:
            return readBasic<int, bool>(m, type, out);
        case SD_BUS_TYPE_INT16:
            return readBasic<std::int16_t, std::int64_t>(m, type, out);
        case SD_BUS_TYPE_UINT16:
            return readBasic<std::uint16_t, std::uint64_t>(m, type, out);
        case SD_BUS_TYPE_INT32:
            return readBasic<std::int32_t, std::int64_t>(m, type, out);
        case SD_BUS_TYPE_UINT32:
            return readBasic<std::uint32_t, std::uint64_t>(m, type, out);
        case SD_BUS_TYPE_INT64:
            return readBasic<std::int64_t, std::int64_t>(m, type, out);
        case SD_BUS_TYPE_UINT64:
            return readBasic<std::uint64_t, std::uint64_t>(m, type, out);
        case SD_BUS_TYPE_DOUBLE:
            return readBasic<double, double>(m, type, out);
        case SD_BUS_TYPE_STRING:
        case SD_BUS_TYPE_OBJECT_PATH:
        case SD_BUS_TYPE_SIGNATURE: {
            const char* v = nullptr;
            if (sd_bus_message_read_basic(m, type, &v) < 0 || !v) return false;
            const std::size_t length = strnlen(v, kMaxStringBytes);
            if (!budget.take(length)) return false;
            out = Value(std::string(v, length));
            return true;
        }
        case SD_BUS_TYPE_VARIANT:
            if (sd_bus_message_enter_container(m, type, contents) < 0) return false;
            if (!readInto(m, out, depth + 1, budget)) return false;
            return sd_bus_message_exit_container(m) >= 0;
        case SD_BUS_TYPE_ARRAY:
        case SD_BUS_TYPE_STRUCT:
        case SD_BUS_TYPE_DICT_ENTRY: {
            if (sd_bus_message_enter_container(m, type, contents) < 0) return false;
            Value::Array elements;
            int end = 0;
            while ((end = sd_bus_message_at_end(m, 0)) == 0) {
                if (elements.size() >= budget.limits.elements) {
                    // The rest is skipped unread: it costs neither memory nor budget.
                    if (sd_bus_message_skip(m, nullptr) < 0) return false;
                    continue;
                }
                Value element;
                if (!readInto(m, element, depth + 1, budget)) return false;
                elements.push_back(std::move(element));
            }
            if (end < 0 || sd_bus_message_exit_container(m) < 0) return false;
            out = Value(std::move(elements));
            return true;
        }
        default:  // a file descriptor, or anything newer: skipped
            if (sd_bus_message_skip(m, std::string(1, type).c_str()) < 0) return false;
            out = Value();
            return true;
    }
}

// Writes `arguments` as `signature` says (see Call).
int append(sd_bus_message* m, const std::string& signature, const std::vector<Value>& arguments) {
    std::size_t next = 0;
    for (std::size_t i = 0; i < signature.size(); ++i) {
        if (next >= arguments.size()) return -EINVAL;
        const Value& argument = arguments[next++];
        if (signature[i] == 'a' && i + 1 < signature.size()) {
            const char element = signature[++i];
            if (element != 's' && element != 'o') return -EINVAL;
            const char contents[] = {element, '\0'};
            int error = sd_bus_message_open_container(m, SD_BUS_TYPE_ARRAY, contents);
            for (const std::string& text : textsOf(argument))
                if (error >= 0) error = sd_bus_message_append_basic(m, element, text.c_str());
            if (error < 0 || (error = sd_bus_message_close_container(m)) < 0) return error;
        } else if (signature[i] == 's' || signature[i] == 'o') {
            const auto text = textOf(argument);
            if (!text) return -EINVAL;
            if (const int error = sd_bus_message_append_basic(m, signature[i], text->c_str());
                error < 0)
                return error;
        } else {
            return -EINVAL;
        }
    }
    return 0;
}

std::uint64_t monotonicMicros() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint64_t(now.tv_sec) * 1000000 + std::uint64_t(now.tv_nsec) / 1000;
}

}  // namespace

const char* busName(BusKind kind) {
    return kind == BusKind::System ? "system bus" : "session bus";
}

bool sessionBusNamed(const char* address, const char* runtimeDir) {
    if (address && *address) return true;
    std::error_code error;
    return runtimeDir && *runtimeDir &&
           std::filesystem::exists(std::filesystem::path(runtimeDir) / "bus", error);
}

const Value* Message::argument(std::size_t index) const {
    return failed() || index >= arguments.size() ? nullptr : &arguments[index];
}

std::optional<std::string> Message::text(std::size_t index) const {
    const Value* value = argument(index);
    return value ? textOf(*value) : std::nullopt;
}

std::optional<Dict> Message::dict(std::size_t index) const {
    const Value* value = argument(index);
    if (!value || !std::holds_alternative<Value::Array>(value->data)) return std::nullopt;
    return dictOf(*value);
}

std::optional<std::vector<Value>> decodeArguments(sd_bus_message* message,
                                                  const DecodeLimits& limits) {
    if (sd_bus_message_rewind(message, 1) < 0) return std::nullopt;
    Budget budget{limits};
    std::vector<Value> arguments;
    while (sd_bus_message_at_end(message, 1) == 0) {
        Value value;
        if (!readInto(message, value, 0, budget)) return std::nullopt;
        arguments.push_back(std::move(value));
    }
    return arguments;
}

Bus::Bus(asio::io_context& io, BusKind kind, Lost lost)
    : io_(io), kind_(kind), lost_(std::move(lost)), socket_(io), timer_(io) {
    const std::string none = std::string("no ") + busName(kind_) + ": ";
    const int error =
        kind_ == BusKind::System ? sd_bus_open_system(&bus_) : sd_bus_open_user(&bus_);
    if (error < 0) throw NoBus(none + std::strerror(-error));
    const int fd = sd_bus_get_fd(bus_);
    if (fd < 0) {
        sd_bus_flush_close_unref(bus_);
        throw NoBus(none + std::strerror(-fd));
    }
    socket_.assign(fd);
    kick();
}

Bus::~Bus() {
    timer_.cancel();
    socket_.release();  // the socket is sd-bus's to close
    sd_bus_flush_close_unref(bus_);
}

void Bus::call(const Call& call, Handler reply) {
    if (dead_) return;
    sd_bus_message* message = nullptr;
    if (sd_bus_message_new_method_call(bus_, &message, call.destination.c_str(), call.path.c_str(),
                                       call.interface.c_str(), call.member.c_str()) < 0)
        return;
    if (append(message, call.signature, call.arguments) < 0) {
        sd_bus_message_unref(message);
        return;
    }
    auto* handler = new Handler(std::move(reply));
    sd_bus_slot* slot = nullptr;
    if (sd_bus_call_async(bus_, &slot, message, dispatch, handler, kCallTimeoutUs) < 0)
        delete handler;
    else
        adopt(slot);
    sd_bus_message_unref(message);
    kick();
}

void Bus::match(const std::string& rule, Handler handler) {
    if (dead_) return;
    auto* owned = new Handler(std::move(handler));
    sd_bus_slot* slot = nullptr;
    if (sd_bus_add_match_async(bus_, &slot, rule.c_str(), dispatch, nullptr, owned) < 0)
        delete owned;
    else
        adopt(slot);
    kick();
}

void Bus::close() {
    dead_ = true;
    timer_.cancel();
    socket_.cancel();
}

void Bus::kick() {
    if (pumping_ || kicked_ || dead_) return;
    kicked_ = true;
    asio::post(io_, alive_.guard([this] {
        kicked_ = false;
        pump();
    }));
}

void Bus::pump() {
    if (dead_) return;
    pumping_ = true;
    int processed = 0;
    int turn = 0;
    while (turn++ < kMessagesPerTurn && (processed = sd_bus_process(bus_, nullptr)) > 0) {
    }
    pumping_ = false;
    if (processed < 0) {
        close();
        lost_(std::string("the ") + busName(kind_) + " went away: " + std::strerror(-processed));
        return;
    }
    // A peer that floods the bus gets a turn, not the loop: the rest after what else is due. It
    // may already be read, so the socket is not waited for.
    if (processed > 0) return kick();
    arm();
}

void Bus::arm() {
    const int events = sd_bus_get_events(bus_);
    const auto alive = alive_.watch();
    if (events > 0 && (events & POLLIN) && !reading_) {
        reading_ = true;
        socket_.async_wait(asio::posix::stream_descriptor::wait_read,
                           [this, alive](const std::error_code& error) {
                               if (!alive.alive()) return;
                               reading_ = false;
                               if (!error) pump();
                           });
    }
    if (events > 0 && (events & POLLOUT) && !writing_) {
        writing_ = true;
        socket_.async_wait(asio::posix::stream_descriptor::wait_write,
                           [this, alive](const std::error_code& error) {
                               if (!alive.alive()) return;
                               writing_ = false;
                               if (!error) pump();
                           });
    }
    std::uint64_t until = 0;
    if (sd_bus_get_timeout(bus_, &until) < 0 ||
        until == std::numeric_limits<std::uint64_t>::max()) {
        timer_.cancel();
        return;
    }
    const std::uint64_t now = monotonicMicros();
    timer_.expires_after(std::chrono::microseconds(until > now ? until - now : 0));
    timer_.async_wait([this, alive](const std::error_code& error) {
        if (!alive.alive() || error) return;
        pump();
    });
}

}  // namespace velmora::jukebox::mpris
