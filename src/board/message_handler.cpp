// SPDX-License-Identifier: MIT
#include "board/message_handler.h"

#include <string_view>
#include <utility>

#include "board/playlist_lookup.h"
#include "display/board_design.h"
#include "velmora/field_splitter.h"
#include "velmora/messages.h"

namespace velmora::board {

namespace {
constexpr std::size_t kLogLines = 7;
}  // namespace

MessageHandler::~MessageHandler() = default;

std::span<const MessageHandler::Step> MessageHandler::stepsOf(Kind kind) {
    using M = MessageHandler;
    static constexpr Step kUnknown[] = {&M::log, &M::classify};
    static constexpr Step kTimeCode[] = {&M::log, &M::classify, &M::showElapsed};
    static constexpr Step kPlaying[] = {&M::log,       &M::classify,    &M::cutTrack,
                                        &M::showTrack, &M::showPicture, &M::showTotalTime,
                                        &M::askPointer};
    static constexpr Step kPointer[] = {&M::log, &M::classify, &M::askNextEntry};
    static constexpr Step kItem[] = {&M::log, &M::classify, &M::showNextEntry};
    static constexpr Step kEcho[] = {&M::log, &M::classify, &M::flagEcho};
    switch (kind) {
        case Kind::TimeCode:
            return kTimeCode;
        case Kind::Playing:
            return kPlaying;
        case Kind::PlaylistPointer:
            return kPointer;
        case Kind::PlaylistItem:
            return kItem;
        case Kind::Echo:
            return kEcho;
        case Kind::Unknown:
            break;
    }
    return kUnknown;
}

void MessageHandler::handle(std::string& endpoint, std::string& message) {
    if (board_.unloaded()) return;  // the link is closed: nothing may be sent any more
    if (held_ || running_) {
        if (waiting_.size() == kMaxWaiting) waiting_.pop_front();  // the newest state matters most
        waiting_.emplace_back(endpoint, message);
        return;
    }
    process(Job{endpoint, message});
}

// Runs the job, then whatever arrived meanwhile, until the queue is empty or a job is held.
void MessageHandler::process(Job job) {
    running_ = true;
    bool done = run(job);
    while (done && !waiting_.empty()) {
        auto [endpoint, message] = std::move(waiting_.front());
        waiting_.pop_front();
        Job next{std::move(endpoint), std::move(message)};
        done = run(next);
    }
    running_ = false;
}

bool MessageHandler::run(Job& job) {
    for (;;) {
        const auto steps = stepsOf(job.kind);
        if (job.step >= steps.size()) return true;
        try {
            if (!(this->*steps[job.step])(job)) return true;
        } catch (const Failure& failure) {
            if (failure.code() == ErrorCode::PermissionDenied && job.retries < kMaxRetries) {
                ++job.retries;
                hold(std::move(job));
                return false;
            }
            return true;
        } catch (const std::exception&) {
            return true;  // any other failure ends this message quietly; what it changed stays
        }
        ++job.step;
        job.retries = 0;
    }
}

void MessageHandler::hold(Job job) {
    held_ = std::move(job);
    if (retryTimer_)
        retryTimer_->setEnabled(true);
    else
        retryTimer_ = board_.services().timers.createTimer(kRetryDelay, true, [this] { retry(); });
}

void MessageHandler::retry() {
    retryTimer_->setEnabled(false);
    if (!held_) return;
    Job job = std::move(*held_);
    held_.reset();
    if (board_.unloaded()) {
        waiting_.clear();
        return;
    }
    process(std::move(job));
}

bool MessageHandler::log(Job& job) {
    Form& form = board_.form();
    if (form[display::List1].items.size() >= kLogLines) form.removeItem(display::List1, 0);
    const std::string arguments = board_.services().system.commandLine();
    std::string line;
    line.reserve(job.endpoint.size() + arguments.size() + job.message.size() + 2);
    line.append(job.endpoint).append(":").append(arguments).append(" ").append(job.message);
    form.addItem(display::List1, std::move(line));
    return true;
}

bool MessageHandler::classify(Job& job) {
    if (job.endpoint != kRxEndpoint) return false;
    static constexpr std::pair<std::string_view, Kind> kPrefixes[] = {
        {link::messages::kTime, Kind::TimeCode},
        {link::messages::kPlaying, Kind::Playing},
        {link::messages::kPlaylistPointer, Kind::PlaylistPointer},
        {link::messages::kPlaylistItem, Kind::PlaylistItem},
        {kEchoRequest, Kind::Echo},
    };
    for (const auto& [prefix, kind] : kPrefixes) {
        if (job.message.starts_with(prefix)) {
            job.kind = kind;
            return true;
        }
    }
    return false;
}

// A time text with a "-" in it is not a time the board shows; the old one stays.
bool MessageHandler::showElapsed(Job& job) {
    const auto rest = link::dropFirst(job.message, link::messages::kTimeHead.size());
    if (!rest || rest->find('-') != std::string_view::npos) return false;
    const auto time = link::dropLast(*rest);
    if (!time) return false;
    board_.form().setText(display::ElapsedTime, std::string(*time));
    return true;
}

// Every field is cut before the board changes, so a short message changes nothing.
bool MessageHandler::cutTrack(Job& job) {
    const auto body = link::dropFirst(job.message, link::messages::kPlayingHead.size());
    if (!body) return false;
    link::FieldSplitter fields(*body);
    std::string* into[] = {&job.track.album,     &job.track.artist,  &job.track.title,
                           &job.track.totalTime, &job.track.picture, nullptr};
    for (std::string* field : into) {
        const auto text = fields.next();
        if (!text) return false;
        if (field) field->assign(*text);
    }
    return true;
}

bool MessageHandler::showTrack(Job& job) {
    Form& form = board_.form();
    form.setText(display::Title, std::move(job.track.title));
    form.setText(display::Album, std::move(job.track.album));
    form.setText(display::Artist, std::move(job.track.artist));
    return true;
}

// The picture decodes while the board goes on; the rest of the track does not wait for it.
bool MessageHandler::showPicture(Job& job) {
    picture_.show(job.track.picture);
    return true;
}

bool MessageHandler::showTotalTime(Job& job) {
    board_.form().setText(display::TotalTime, std::move(job.track.totalTime));
    return true;
}

bool MessageHandler::askPointer(Job&) {
    board_.send(link::messages::kPlaylistGetPointer);
    return true;
}

bool MessageHandler::askNextEntry(Job& job) {
    const auto request = board::requestFor(job.message);
    if (!request) return false;
    board_.send(*request);
    return true;
}

bool MessageHandler::showNextEntry(Job& job) {
    auto entry = board::readEntry(job.message);
    if (!entry) return false;
    board::showNext(board_.form(), std::move(*entry));
    return true;
}

bool MessageHandler::flagEcho(Job&) {
    board_.setEchoReceived(true);
    return true;
}

}  // namespace velmora::board
