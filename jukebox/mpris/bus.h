// SPDX-License-Identifier: MIT
// The bridge's view of a message bus, and the session and system buses behind it. The bridge calls
// methods and hears signals as plain values: a message arrives whole, its arguments already read
// (leniently, see value.h), so that the bridge's decisions can be tried with no bus at all.
//
// Bus drives sd-bus from the service's Asio loop: sd-bus says which events its socket waits
// for and until when, the loop wakes for exactly those and lets sd-bus process. No thread, no
// polling. Calls and signal handlers are plain functions; they end with the bus.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

#include "mpris/value.h"
#include "velmora/lifetime.h"

struct sd_bus;
struct sd_bus_message;

namespace velmora::jukebox::mpris {

// A bus that cannot be opened.
class NoBus : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The user's session bus (desktop players), or the machine's system bus (receivers such as
// shairport-sync and spotifyd, run as services).
enum class BusKind { Session, System };

// "session bus" or "system bus", for what the service says.
const char* busName(BusKind kind);

// Whether a session bus is named for this process, as sd-bus looks for one: its address in
// DBUS_SESSION_BUS_ADDRESS, or the socket $XDG_RUNTIME_DIR/bus. A service started outside a
// session has neither.
bool sessionBusNamed(const char* address, const char* runtimeDir);

// A reply or a signal: who sent it, whether it is an error, and what it says.
struct Message {
    std::string sender;
    // The error's name for a failed call (a time-out included); empty for a real reply.
    std::string error;
    std::vector<Value> arguments;

    bool failed() const { return !error.empty(); }
    // The argument at `index`; nothing for an error, a missing argument or one of another type.
    const Value* argument(std::size_t index) const;
    std::optional<std::string> text(std::size_t index) const;
    // An a{sv}: the usual property map or metadata.
    std::optional<Dict> dict(std::size_t index) const;
};

// A method to call. The arguments are written as `signature` says: "s" and "o" take a text, "as"
// and "ao" an array of texts.
struct Call {
    std::string destination;
    std::string path;
    std::string interface;
    std::string member;
    std::string signature;
    std::vector<Value> arguments;
};

class MessageBus {
  public:
    using Handler = std::function<void(const Message&)>;
    // Told once when the bus goes away; nothing is dispatched after it.
    using Lost = std::function<void(const std::string& why)>;

    virtual ~MessageBus() = default;
    // `reply` gets the reply, or the error (a time-out included).
    virtual void call(const Call& call, Handler reply) = 0;
    // Calls `handler` for each message that matches a D-Bus match rule.
    virtual void match(const std::string& rule, Handler handler) = 0;
    // No more waiting on the bus: the loop may end. Nothing is dispatched any more.
    virtual void close() = 0;
};

// Opens a bus, or throws NoBus.
using ConnectBus = std::function<std::unique_ptr<MessageBus>(MessageBus::Lost lost)>;

// Bounds on what one message may decode to; past them the message reads as nothing.
struct DecodeLimits {
    std::size_t depth = 64;
    std::size_t elements = 100000;  // in one array or structure
    // Every value and the bytes of every text: a data: cover of 16 MiB is about 22 MB of base64,
    // and nothing a player says is longer.
    std::size_t total = 32 * 1024 * 1024;
};

// Every argument of a message (read from the start); nothing when it breaks a limit or cannot
// be read.
std::optional<std::vector<Value>> decodeArguments(sd_bus_message* message,
                                                  const DecodeLimits& limits = {});

// The session or the system bus (DBUS_SYSTEM_BUS_ADDRESS may name another than the machine's).
class Bus final : public MessageBus {
  public:
    // How many messages one turn of the loop handles before the loop's other work has its turn.
    static constexpr int kMessagesPerTurn = 64;

    // Connects to the bus; throws NoBus.
    Bus(asio::io_context& io, BusKind kind, Lost lost);
    ~Bus() override;
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    void call(const Call& call, Handler reply) override;
    void match(const std::string& rule, Handler handler) override;
    void close() override;

  private:
    void pump();
    void arm();
    void kick();

    asio::io_context& io_;
    BusKind kind_;
    Lost lost_;
    sd_bus* bus_ = nullptr;
    asio::posix::stream_descriptor socket_;
    asio::steady_timer timer_;
    Liveness alive_;
    bool reading_ = false;
    bool writing_ = false;
    bool pumping_ = false;
    bool kicked_ = false;
    bool dead_ = false;
};

}  // namespace velmora::jukebox::mpris
