// SPDX-License-Identifier: MIT
// The user's session bus through sd-bus, driven from the service's Asio loop: sd-bus says which
// events its socket waits for and until when, the loop wakes for exactly those and lets sd-bus
// process. No thread, no polling. Calls and signal handlers are plain functions; they end with the
// bus.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

#include "mpris/value.h"

struct sd_bus;
struct sd_bus_message;

namespace velmora::jukebox::mpris {

class NoSessionBus : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What a handler sees of a message: who sent it and what it says.
class Message {
  public:
    explicit Message(sd_bus_message* message) : message_(message) {}
    std::string sender() const;
    std::string member() const;
    std::string interface() const;
    // The error's name for a failed call; empty otherwise.
    std::string errorName() const;
    bool failed() const { return !errorName().empty(); }

    // Each reads the next argument; nothing (and the rest unread) when its type does not fit.
    std::optional<std::string> readText();
    std::optional<Value> readValue();
    // An a{sv}: the usual property map or metadata.
    std::optional<Dict> readDict();
    sd_bus_message* get() const { return message_; }

  private:
    sd_bus_message* message_;
};

class Bus {
  public:
    using Handler = std::function<void(Message&)>;
    // Builds a call's arguments.
    using Arguments = std::function<int(sd_bus_message*)>;
    // How many messages one turn of the loop handles before the loop's other work has its turn.
    static constexpr int kMessagesPerTurn = 64;

    // Connects to the session bus; throws NoSessionBus. `lost` is told when the bus goes away.
    Bus(asio::io_context& io, std::function<void(const std::string&)> lost);
    ~Bus();
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    // Calls a method; `reply` gets the reply, or the error (a time-out included).
    void call(const std::string& destination, const std::string& path, const std::string& interface,
              const std::string& member, Arguments arguments, Handler reply);
    // Gets a property: the reply's value is read with readValue() / readDict().
    void getProperty(const std::string& destination, const std::string& path,
                     const std::string& interface, const std::string& property, Handler reply);
    // Calls `handler` for each message that matches a D-Bus match rule.
    void match(const std::string& rule, Handler handler);
    // No more waiting on the bus: the loop may end. Nothing is dispatched any more.
    void close();

  private:
    void pump();
    void arm();
    void kick();

    asio::io_context& io_;
    std::function<void(const std::string&)> lost_;
    sd_bus* bus_ = nullptr;
    asio::posix::stream_descriptor socket_;
    asio::steady_timer timer_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    bool reading_ = false;
    bool writing_ = false;
    bool pumping_ = false;
    bool kicked_ = false;
    bool dead_ = false;
};

}  // namespace velmora::jukebox::mpris
