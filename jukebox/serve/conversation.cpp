// SPDX-License-Identifier: MIT
#include "serve/conversation.h"

#include <algorithm>
#include <cstdint>

#include "common/encoding.h"
#include "common/messages.h"
#include "common/now_playing.h"
#include "velmora/link_protocol.h"
#include "velmora/messages.h"

namespace velmora::jukebox {

namespace {

using link::Line;
namespace words = link::messages;

constexpr std::size_t kQuotedBytes = 64;  // how much of a bad line an ERROR repeats

std::string error(std::string_view what, std::string_view subject = {}) {
    std::string text(what);
    if (!subject.empty()) text.append(": ").append(truncateUtf8(subject, kQuotedBytes));
    return link::encodeError(text);
}

bool between(std::string_view text, std::string_view prefix, std::string_view& inside) {
    if (!text.starts_with(prefix) || !text.ends_with(words::kClose) || text.size() <= prefix.size())
        return false;
    inside = text.substr(prefix.size(), text.size() - prefix.size() - 1);
    return true;
}

// A decimal integer, optionally signed: what playlist_getitem asks for.
bool isInteger(std::string_view text) {
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

// The entry a number names, saturated far outside any playlist when it has too many digits.
std::int64_t entryNumber(std::string_view text) {
    const bool negative = text.front() == '-';
    if (text.front() == '-' || text.front() == '+') text.remove_prefix(1);
    text.remove_prefix(std::min(text.find_first_not_of('0'), text.size()));
    if (text.size() > 12) return negative ? -1 : INT64_MAX;
    std::int64_t value = 0;
    for (const char ch : text) value = value * 10 + (ch - '0');
    return negative ? -value : value;
}

}  // namespace

void Conversation::handleLine(std::string_view line, const NowPlaying& player, Output& out) {
    if (finished_) return;
    const Line parsed = link::parseClientLine(line);
    if (!greeted_) {
        if (parsed.kind != Line::Kind::Hello) {
            out.push_back(link::encodeError("unsupported protocol"));
            finished_ = true;
            return;
        }
        greeted_ = true;
        return;
    }
    switch (parsed.kind) {
        case Line::Kind::Open:
            open(parsed.endpoint, parsed.text, out);
            break;
        case Line::Kind::Send:
            command(parsed.endpoint, parsed.text, player, out);
            break;
        case Line::Kind::Close:
            close(parsed.endpoint, out);
            break;
        default:
            out.push_back(error("bad line", line));
            break;
    }
}

void Conversation::open(std::string_view name, std::string_view options, Output& out) {
    Endpoint* endpoint = find(name);
    if (!endpoint) {
        if (endpoints_.size() >= kMaxEndpoints) {
            out.push_back(error("too many endpoints", name));
            return;
        }
        endpoint = &endpoints_.emplace_back(Endpoint{std::string(name)});
    }
    endpoint->transmit = options.find("type=devtx") != std::string_view::npos;
    endpoint->receive = options.find("type=devrx") != std::string_view::npos;
}

void Conversation::close(std::string_view name, Output& out) {
    const Endpoint* endpoint = find(name);
    if (!endpoint) {
        out.push_back(error("endpoint not open", name));
        return;
    }
    endpoints_.erase(endpoints_.begin() + (endpoint - endpoints_.data()));
}

void Conversation::command(std::string_view name, std::string_view text, const NowPlaying& player,
                           Output& out) {
    const Endpoint* endpoint = find(name);
    if (!endpoint) {
        out.push_back(error("endpoint not open", name));
        return;
    }
    if (!endpoint->transmit) {
        out.push_back(error("endpoint does not carry commands", name));
        return;
    }
    std::string_view inside;
    if (text == words::kNotifyPlayingItemOn) {
        notifyItem_ = true;
        deliver(playingMessage(player.playingTrack(), player.playingPosition()), out);
    } else if (text == words::kNotifyPlayingItemOff) {
        notifyItem_ = false;
    } else if (text == words::kNotifyPlayingTimecodeOn) {
        notifyTime_ = true;
        deliver(timeMessage(player.playingSeconds()), out);
    } else if (text == words::kNotifyPlayingTimecodeOff) {
        notifyTime_ = false;
    } else if (between(text, words::kEchoHead, inside)) {
        deliver(text, out);
    } else if (text == words::kPlaylistGetPointer) {
        deliver(pointerMessage(player.playingPosition()), out);
    } else if (between(text, words::kPlaylistGetItemHead, inside) && isInteger(inside)) {
        const Entry entry = player.entryAt(entryNumber(inside));
        deliver(itemMessage(inside, entry.track, entry.position), out);
    } else {
        out.push_back(error("unknown command", text));
    }
}

void Conversation::trackStarted(const NowPlaying& player, Output& out) const {
    if (notifyItem_) deliver(playingMessage(player.playingTrack(), player.playingPosition()), out);
}

void Conversation::secondPassed(const NowPlaying& player, Output& out) const {
    if (notifyTime_) deliver(timeMessage(player.playingSeconds()), out);
}

void Conversation::deliver(std::string_view message, Output& out) const {
    for (const Endpoint& endpoint : endpoints_) {
        if (!endpoint.receive) continue;
        std::string line = link::encodeMessage(endpoint.name, message);
        // A board drops a line over the limit unread; tell the client why it got nothing.
        if (line.size() - 1 > link::kMaxLineBytes)
            line = error("message too long for the link", message);
        out.push_back(std::move(line));
    }
}

Conversation::Endpoint* Conversation::find(std::string_view name) {
    const auto it = std::find_if(endpoints_.begin(), endpoints_.end(),
                                 [&](const Endpoint& e) { return e.name == name; });
    return it == endpoints_.end() ? nullptr : &*it;
}

}  // namespace velmora::jukebox
