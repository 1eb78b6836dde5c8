// SPDX-License-Identifier: MIT
#include "link/socket_link.h"

#include <algorithm>

#include "velmora/messages.h"
#include "velmora/lifetime.h"
#include "velmora/whole_number.h"

namespace velmora::link {

namespace {

// The family of a command whose last state must survive a reconnect: "notify_playing_item[on]"
// belongs to "notify_playing_item", "echo[cdjon]" to "echo". Empty for any other command.
std::string_view stickyFamily(std::string_view command) {
    const std::string_view family = command.substr(0, command.find(messages::kOpen));
    if (family.size() > messages::kNotifyFamily.size() &&
        family.starts_with(messages::kNotifyFamily))
        return family;
    if (family == messages::kEcho && command.size() > family.size()) return family;
    return {};
}

std::uint16_t portFrom(const std::string& text) {
    const auto value = velmora::wholeNumber<unsigned>(text);
    if (!value || *value == 0 || *value > 65535) return SocketLink::kDefaultPort;
    return static_cast<std::uint16_t>(*value);
}

}  // namespace

SocketLink::SocketLink(platform::Services& services, Supersedes supersedes)
    : services_(services), supersedes_(std::move(supersedes)) {}

SocketLink::~SocketLink() {
    // A short run (open, a few commands, close, exit) is over before the connection is up. The
    // socket keeps what is written while it connects, so hand it everything and let it finish.
    if (state_ == State::Connecting) socket_->write(link::encodeHello());
    if (state_ == State::Connecting || state_ == State::Handshaking)
        socket_->write(overflowed_ ? restoreLines() : queue_);
    if (state_ == State::Connecting || state_ == State::Handshaking || state_ == State::Ready)
        socket_->finish(kFinishMs);
}

std::int32_t SocketLink::LinkOpen(std::string& endpoint, const std::string& options, std::int32_t,
                                  std::int32_t, std::int32_t) {
    if (!link::isValidEndpoint(endpoint)) return kLinkBadEndpoint;
    if (!link::isValidText(options)) return kLinkBadText;
    std::string line = link::encodeOpen(endpoint, options);
    if (line.size() - 1 > link::kMaxLineBytes) return kLinkLineTooLong;

    if (Endpoint* open = findEndpoint(endpoint)) {
        open->options = options;  // opened again: the service takes the new options
    } else {
        if (endpoints_.size() >= kMaxEndpoints) return kLinkTooManyEndpoints;
        endpoints_.push_back(Endpoint{endpoint, options});
    }
    submit(std::move(line));
    return kLinkAccepted;
}

std::int32_t SocketLink::LinkSend(std::string& endpoint, const std::string& command) {
    if (!link::isValidEndpoint(endpoint)) return kLinkBadEndpoint;
    if (!link::isValidText(command)) return kLinkBadText;
    if (!findEndpoint(endpoint)) return kLinkNotOpen;
    std::string line = link::encodeSend(endpoint, command);
    if (line.size() - 1 > link::kMaxLineBytes) return kLinkLineTooLong;

    remember(endpoint, command);
    submit(std::move(line));
    return kLinkAccepted;
}

std::int32_t SocketLink::LinkClose(std::string& endpoint) {
    if (!link::isValidEndpoint(endpoint)) return kLinkBadEndpoint;
    Endpoint* open = findEndpoint(endpoint);
    if (!open) return kLinkNotOpen;

    endpoints_.erase(endpoints_.begin() + (open - endpoints_.data()));
    std::erase_if(sticky_, [&](const Sticky& s) { return s.endpoint == endpoint; });
    submit(link::encodeClose(endpoint));
    return kLinkAccepted;
}

void SocketLink::submit(std::string line) {
    if (state_ == State::Ready) {
        writeToSocket(line);
        return;
    }
    // Past the bound the queue goes; the endpoints and the last notification requests are
    // rebuilt from state when the service answers.
    if (!overflowed_) {
        if (queue_.size() + line.size() > kMaxQueueBytes) {
            std::string().swap(queue_);
            overflowed_ = true;
        } else {
            queue_ += line;
        }
    }
    if (state_ == State::Idle) connect();
}

void SocketLink::connect() {
    if (!socket_) socket_ = services_.network.createSocket(*this);
    if (!timer_)
        timer_ = services_.timers.createTimer(kConnectTimeoutMs, false, [this] { timerTick(); });

    // Read at every attempt, so that a changed address takes effect without a restart.
    std::string host =
        services_.settings.read(kSettingsApplication, kSettingsSection, kHostKey, kDefaultHost);
    if (host.empty()) host = kDefaultHost;
    const std::uint16_t port = portFrom(services_.settings.read(
        kSettingsApplication, kSettingsSection, kPortKey, std::to_string(kDefaultPort)));

    state_ = State::Connecting;
    arm(kConnectTimeoutMs);
    socket_->connectTo(host, port);
}

void SocketLink::connected() {
    if (state_ != State::Connecting) return;
    state_ = State::Handshaking;
    socket_->write(link::encodeHello());
}

void SocketLink::received(std::string_view bytes) {
    if (state_ != State::Handshaking && state_ != State::Ready) return;

    bool greeted = state_ == State::Ready;
    bool refused = false;
    reader_.feed(bytes, [&](std::string_view text) {
        if (refused) return;
        const link::Line line = link::parseServiceLine(text);
        if (!greeted) {
            // The first line names the protocol; "VELMORA-LINK 10" is not version 1.
            greeted = line.kind == link::Line::Kind::Hello;
            refused = !greeted;
        } else if (line.kind == link::Line::Kind::Message) {
            enqueue(line.endpoint, line.text);
        }
    });
    // Messages pile up only while a handler is held in a nested event loop; keep the newest.
    while (inboxBytes_ > kMaxInboxBytes) {
        inboxBytes_ -= inbox_.front().endpoint.size() + inbox_.front().text.size();
        inbox_.pop_front();
    }

    if (refused) {
        lost();
    } else if (greeted && state_ == State::Handshaking) {
        ready();
    }
    dispatch();
}

void SocketLink::disconnected() {
    if (state_ == State::Connecting || state_ == State::Handshaking || state_ == State::Ready)
        lost();
}

void SocketLink::ready() {
    state_ = State::Ready;
    // The pause shrinks back only once the connection has proved steady: a service that greets
    // and hangs up at once must not be called four times a second.
    arm(kSteadyMs);
    const std::string lines = overflowed_ ? restoreLines() : std::move(queue_);
    queue_.clear();
    overflowed_ = false;
    writeToSocket(lines);
}

void SocketLink::lost() {
    const bool wasReady = state_ == State::Ready;
    state_ = State::Waiting;
    socket_->close();
    reader_.reset();
    // What was written is gone with the connection: start the next one from the present state.
    // Before the handshake nothing left the queue, so it still holds everything.
    if (wasReady) {
        queue_ = restoreLines();
        overflowed_ = queue_.size() > kMaxQueueBytes;
        if (overflowed_) std::string().swap(queue_);
    }
    arm(retryMs_);
    retryMs_ = std::min(retryMs_ * 2, kMaxRetryMs);
}

void SocketLink::timerTick() {
    timer_->setEnabled(false);
    if (state_ == State::Connecting || state_ == State::Handshaking)
        lost();  // no answer in time
    else if (state_ == State::Waiting)
        connect();
    else if (state_ == State::Ready)
        retryMs_ = kFirstRetryMs;
}

void SocketLink::arm(int milliseconds) {
    timer_->setEnabled(false);
    timer_->setInterval(milliseconds);
    timer_->setEnabled(true);
}

void SocketLink::writeToSocket(std::string_view bytes) {
    if (bytes.empty()) return;
    socket_->write(bytes);
    // A service that stops reading must not make us hold its backlog.
    if (socket_->pendingBytes() > kMaxPendingBytes) lost();
}

std::string SocketLink::restoreLines() const {
    std::string lines;
    for (const Endpoint& e : endpoints_) lines += link::encodeOpen(e.name, e.options);
    for (const Sticky& s : sticky_) lines += link::encodeSend(s.endpoint, s.command);
    return lines;
}

void SocketLink::remember(std::string_view endpoint, std::string_view command) {
    const std::string_view family = stickyFamily(command);
    if (family.empty()) return;
    std::erase_if(sticky_,
                  [&](const Sticky& s) { return s.endpoint == endpoint && s.family == family; });
    if (sticky_.size() >= kMaxSticky) sticky_.erase(sticky_.begin());
    sticky_.push_back(Sticky{std::string(endpoint), std::string(family), std::string(command)});
}

void SocketLink::enqueue(std::string_view endpoint, std::string_view text) {
    if (!inbox_.empty() && supersedes_ && inbox_.back().endpoint == endpoint &&
        supersedes_(endpoint, inbox_.back().text, text)) {
        inboxBytes_ -= inbox_.back().text.size();
        inbox_.back().text = text;
        inboxBytes_ += text.size();
        return;
    }
    inbox_.push_back(Message{std::string(endpoint), std::string(text)});
    inboxBytes_ += endpoint.size() + text.size();
}

void SocketLink::dispatch() {
    // One message at a time: a handler that runs a nested event loop does not get another
    // message inside the first; the outer loop raises it next.
    if (dispatching_) return;
    velmora::ScopedFlag dispatching(dispatching_);
    while (!inbox_.empty()) {
        Message message = std::move(inbox_.front());
        inbox_.pop_front();
        inboxBytes_ -= message.endpoint.size() + message.text.size();
        raiseLinkMessage(std::move(message.endpoint), std::move(message.text));
    }
}

SocketLink::Endpoint* SocketLink::findEndpoint(std::string_view name) {
    for (Endpoint& e : endpoints_)
        if (e.name == name) return &e;
    return nullptr;
}

std::unique_ptr<LinkControl> SocketLinkFactory::createLink() {
    return std::make_unique<SocketLink>(services_, supersedes_);
}

}  // namespace velmora::link
