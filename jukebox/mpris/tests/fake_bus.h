// SPDX-License-Identifier: MIT
// A desktop's bus for the bridge's tests: calls wait until a test answers them, signals are sent
// to the handler whose match rule names them, and each bus the bridge opens is kept in view.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mpris/bus.h"

namespace velmora::jukebox::mpris::testing {

// An a{sv} as the bus reads it.
inline Value dictValue(const Dict& dict) {
    Value::Array entries;
    for (const auto& [key, value] : dict) entries.push_back(Value::Array{key, value});
    return entries;
}

inline Message reply(std::vector<Value> arguments, std::string sender = "") {
    return {std::move(sender), "", std::move(arguments)};
}

inline Message errorReply(std::string name, std::string text = "it went wrong") {
    return {"", std::move(name), {std::move(text)}};
}

class FakeBus final : public MessageBus {
  public:
    struct Pending {
        Call call;
        Handler reply;
    };

    explicit FakeBus(Lost lost) : lost(std::move(lost)) {}

    void call(const Call& call, Handler reply) override {
        if (!closed) pending.push_back({call, std::move(reply)});
        ++calls;
    }
    void match(const std::string& rule, Handler handler) override {
        matches.emplace_back(rule, std::move(handler));
    }
    void close() override { closed = true; }
    // The bus goes away, as Bus tells it: closed first.
    void goAway(const std::string& why) {
        closed = true;
        lost(why);
    }

    // A call's member; a property's name for Get ("Get Tracks").
    static std::string nameOf(const Call& call) {
        if (call.member != "Get" || call.arguments.size() < 2) return call.member;
        return "Get " + textOf(call.arguments[1]).value_or("");
    }
    // Whether a call of `member` (to `destination`, when given) waits for its answer.
    bool waits(const std::string& member, const std::string& destination = "") const {
        for (const Pending& each : pending)
            if (nameOf(each.call) == member &&
                (destination.empty() || each.call.destination == destination))
                return true;
        return false;
    }
    // Answers the first waiting call of `member` (to `destination`, when given); false if none.
    bool answer(const std::string& member, const Message& message,
                const std::string& destination = "") {
        for (auto it = pending.begin(); it != pending.end(); ++it) {
            if (nameOf(it->call) != member ||
                (!destination.empty() && it->call.destination != destination))
                continue;
            Pending taken = std::move(*it);
            pending.erase(it);
            taken.reply(message);
            return true;
        }
        return false;
    }
    // Sends a signal to the handler whose rule names `member` ('TrackList' for that interface).
    void signal(const std::string& member, const Message& message) {
        for (auto& [rule, handler] : matches)
            if (rule.find("member='" + member + "'") != std::string::npos ||
                (member == "TrackList" && rule.find(".TrackList'") != std::string::npos)) {
                handler(message);
                return;
            }
    }

    Lost lost;
    std::vector<Pending> pending;
    std::vector<std::pair<std::string, Handler>> matches;
    std::size_t calls = 0;
    bool closed = false;
};

}  // namespace velmora::jukebox::mpris::testing
