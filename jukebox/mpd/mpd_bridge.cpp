// SPDX-License-Identifier: MIT
#include "mpd/mpd_bridge.h"

#include <algorithm>

#include "common/encoding.h"
#include "common/messages.h"
#include "velmora/whole_number.h"

namespace velmora::jukebox {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kFirstRetry{250};
constexpr milliseconds kLastRetry{15000};
constexpr std::size_t kWindow = 32;  // songs known on each side of the current one
constexpr std::size_t kChunkBytes = 1024 * 1024;
constexpr const char* kCoverLane = "playing";
constexpr const char* kIdle = "idle player playlist options";

}  // namespace

MpdBridge::MpdBridge(asio::io_context& io, MpdBridgeConfig config, Log log)
    : io_(io),
      config_(std::move(config)),
      log_(std::move(log)),
      // A song MPD has no cover for is not asked about again.
      cache_(io, CoverFolder(config_.coverFolder, config_.coverPrefix, config_.coverCacheBytes),
             Clock::duration::max(), [this](const std::string& file) { coverStored(file); }),
      retry_(io),
      coverRetry_(io),
      idleCheck_(io),
      backoff_(kFirstRetry),
      coverBackoff_(kFirstRetry),
      tick_(
          io,
          [this]() -> std::optional<std::chrono::nanoseconds> {
              if (status_.state != MpdState::Play || !connected_) return std::nullopt;
              return std::chrono::duration_cast<std::chrono::nanoseconds>(
                  std::chrono::duration<double>(status_.elapsed) + (Clock::now() - statusAt_));
          },
          [this] { notify(); }) {}

MpdBridge::~MpdBridge() {
    stop();
}

void MpdBridge::start(NowPlayingListener& listener) {
    listener_ = &listener;
    connect();
}

void MpdBridge::stop() {
    stopped_ = true;
    listener_ = nullptr;
    retry_.cancel();
    coverRetry_.cancel();
    tick_.stop();
    idleCheck_.cancel();
    if (control_) control_->close();
    if (cover_) cover_->close();
    control_.reset();
    cover_.reset();
}

void MpdBridge::connect() {
    if (stopped_) return;
    control_ = std::make_shared<MpdConnection>(io_, config_.address, config_.replyTime);
    control_->open(
        [this] {
            log_("following MPD at " + config_.address.describe());
            lastFailure_.clear();
            connected_ = true;
            backoff_ = kFirstRetry;
            coverBackoff_ = kFirstRetry;
            refresh();
        },
        [this](const std::string& reason) { lost(reason); });
}

void MpdBridge::lost(const std::string& reason) {
    if (stopped_) return;
    if (reason != lastFailure_) log_("MPD at " + config_.address.describe() + ": " + reason);
    lastFailure_ = reason;
    connected_ = false;
    control_.reset();
    if (cover_) cover_->close();
    cover_.reset();
    coverRetry_.cancel();
    coverWanted_.clear();
    status_ = {};
    window_.clear();
    next_.reset();
    tick_.stop();
    idleCheck_.cancel();
    notify();
    retry_.expires_after(backoff_);
    retry_.async_wait([this](const std::error_code& error) {
        if (!error) connect();
    });
    backoff_ = std::min(backoff_ * 2, kLastRetry);
}

void MpdBridge::refresh() {
    control_->send("status", [this](MpdReply& reply) {
        if (!reply.ok) return control_->close(), lost("status refused: " + reply.error);
        const MpdStatus status = parseStatus(reply);
        const Clock::time_point at = Clock::now();
        if (status.queueLength == 0) {
            status_ = status;
            statusAt_ = at;
            apply(status, {});
            return idle();
        }
        const std::size_t centre = status.song.value_or(0);
        const std::size_t first = centre > kWindow ? centre - kWindow : 0;
        const std::size_t last = std::min(status.queueLength, centre + kWindow + 1);
        auto songs = std::make_shared<std::vector<MpdSong>>();
        const auto collect = [songs](MpdReply& part) {
            if (!part.ok) return;  // the queue changed meanwhile; idle tells us again
            for (MpdSong& song : parseSongs(part)) songs->push_back(std::move(song));
        };
        control_->send("playlistinfo " + std::to_string(first) + ":" + std::to_string(last),
                       collect);
        if (status.nextSong && (*status.nextSong < first || *status.nextSong >= last))
            control_->send("playlistinfo " + std::to_string(*status.nextSong), collect);
        // The last reply of the round: everything is in.
        control_->send("ping", [this, status, at, songs](MpdReply&) {
            status_ = status;
            statusAt_ = at;
            apply(status, std::move(*songs));
            idle();
        });
    });
}

void MpdBridge::idle() {
    control_->sendIdle(kIdle, [this](MpdReply& reply) {
        idleCheck_.cancel();
        if (!reply.ok) return control_->close(), lost("idle refused: " + reply.error);
        // An answer with nothing changed is the check's own: MPD is still there.
        if (!reply.find("changed")) return idle();
        refresh();
    });
    idleCheck_.expires_after(config_.idleCheck);
    idleCheck_.async_wait([this, connection = control_](const std::error_code& error) {
        // A wait that had already ended when the check moved sees the new expiry.
        if (!error && connection == control_ && idleCheck_.expiry() <= Clock::now())
            control_->endIdle();
    });
}

void MpdBridge::apply(const MpdStatus& status, std::vector<MpdSong> songs) {
    window_.clear();
    next_.reset();
    for (MpdSong& song : songs) {
        if (!song.position) continue;
        if (const auto sent = cache_.recall(song.file)) song.track.picture = *sent;
        if (status.nextSong == song.position && !window_.contains(*song.position) &&
            (*song.position + kWindow < status.song.value_or(0) ||
             *song.position > status.song.value_or(0) + kWindow))
            next_ = std::move(song);
        else
            window_.emplace(*song.position, std::move(song));
    }
    if (const Track* playing = playingTrack(); playing && config_.covers)
        wantCover(window_.at(*status_.song).file);
    notify();
    tick_.restart();
}

void MpdBridge::notify() {
    news_.tell(listener_, *this);
}

const Track* MpdBridge::playingTrack() const {
    if (!connected_ || status_.state == MpdState::Stop || !status_.song) return nullptr;
    const auto it = window_.find(*status_.song);
    return it == window_.end() ? nullptr : &it->second.track;
}

std::size_t MpdBridge::playingPosition() const {
    return connected_ && status_.song ? *status_.song + 1 : 1;
}

std::optional<int> MpdBridge::playingSeconds() const {
    const Track* track = playingTrack();
    if (!track) return std::nullopt;
    double elapsed = status_.elapsed;
    if (status_.state == MpdState::Play)
        elapsed += std::chrono::duration<double>(Clock::now() - statusAt_).count();
    return secondsShown(static_cast<int>(elapsed), *track);
}

const MpdSong* MpdBridge::nextSong() const {
    if (!connected_ || status_.queueLength == 0) return nullptr;
    // Stopped, play starts with the current song (or the first one).
    const std::optional<std::size_t> next = status_.state == MpdState::Stop
                                                ? std::optional(status_.song.value_or(0))
                                                : status_.nextSong;
    if (!next) return nullptr;
    if (next_ && next_->position == next) return &*next_;
    const auto it = window_.find(*next);
    return it == window_.end() ? nullptr : &it->second;
}

Entry MpdBridge::entryAt(std::int64_t position) const {
    if (position == static_cast<std::int64_t>(playingPosition()) + 1) {
        const MpdSong* next = nextSong();
        return next ? Entry{&next->track, *next->position + 1} : Entry{};
    }
    if (position < 1 || !connected_) return {};
    const auto it = window_.find(static_cast<std::size_t>(position - 1));
    return it == window_.end() ? Entry{} : Entry{&it->second.track, it->first + 1};
}

bool MpdBridge::coverKnown(const std::string& file) {
    return cache_.recall(file) || cache_.pending(file);
}

void MpdBridge::wantCover(const std::string& file) {
    if (coverKnown(file)) return;
    coverWanted_ = file;
    if (!cover_) fetchCover();
}

void MpdBridge::fetchCover() {
    const std::string file = coverWanted_;
    MpdLimits limits;
    limits.maxBinaryBytes = kChunkBytes;
    cover_ = std::make_shared<MpdConnection>(io_, config_.address, config_.replyTime, limits);
    cover_->open(
        [this, file] {
            cover_->send("binarylimit " + std::to_string(kChunkBytes), [](MpdReply&) {});
            readPicture("albumart", file, std::make_shared<std::string>());
        },
        [this, file](const std::string& reason) {
            // A cover that stalls or breaks is asked for again later. When MPD itself went away,
            // the control connection's loss cancels that.
            if (coverBackoff_ == kFirstRetry)
                log_("MPD at " + config_.address.describe() + ", cover of " + file + ": " + reason);
            cover_.reset();
            coverRetry_.expires_after(coverBackoff_);
            coverRetry_.async_wait([this](const std::error_code& error) {
                if (!error && !cover_ && !coverWanted_.empty() && !coverKnown(coverWanted_))
                    fetchCover();
            });
            coverBackoff_ = std::min(coverBackoff_ * 2, kLastRetry);
        });
}

void MpdBridge::readPicture(const std::string& command, const std::string& file,
                            std::shared_ptr<std::string> data) {
    cover_->send(
        command + " " + mpdQuote(file) + " " + std::to_string(data->size()),
        [this, command, file, data](MpdReply& reply) {
            const auto size = reply.find("size");
            const auto total = size ? velmora::wholeNumber<std::size_t>(*size).value_or(0) : 0;
            if (!reply.ok || total == 0 || reply.binary.empty() || total > kMaxCoverBytes ||
                data->size() + reply.binary.size() > total) {
                // No cover file (or a broken answer): the picture in the song file, if any.
                if (command == "albumart")
                    return readPicture("readpicture", file, std::make_shared<std::string>());
                return coverDone(file, nullptr);
            }
            data->append(reply.binary);
            if (data->size() == total) return coverDone(file, data.get());
            readPicture(command, file, data);
        });
}

void MpdBridge::coverDone(const std::string& file, std::string* bytes) {
    if (cover_) cover_->close();
    cover_.reset();
    coverBackoff_ = kFirstRetry;
    // Written on the cover worker; coverStored follows.
    if (bytes)
        cache_.store(file, kCoverLane, std::move(*bytes));
    else
        cache_.forNone(file);
    if (!coverWanted_.empty() && !coverKnown(coverWanted_)) fetchCover();
}

void MpdBridge::coverStored(const std::string& file) {
    if (stopped_) return;
    const std::string path = cache_.recall(file).value_or("");
    if (!path.empty()) {
        for (auto& [position, song] : window_)
            if (song.file == file) song.track.picture = path;
        if (next_ && next_->file == file) next_->track.picture = path;
        notify();
    }
    // A cover dropped from the worker's queue for a newer one is asked for again when wanted.
    if (!cover_ && !coverWanted_.empty() && !coverKnown(coverWanted_)) fetchCover();
}

}  // namespace velmora::jukebox
