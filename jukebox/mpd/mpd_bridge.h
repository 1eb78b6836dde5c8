// SPDX-License-Identifier: MIT
// Follows an MPD server for the boards: waits on MPD's idle for changes of the player, the queue
// and the play options, reads the status and the songs around the current one, and keeps a
// one-second clock only while MPD plays. Covers are fetched on a connection of their own, so a
// large picture never holds up a track change. When MPD is away, nothing plays for the boards and
// the bridge tries again with a growing pause; an idle that lasts is ended now and then, so that
// a silent server is noticed too.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include "common/now_playing.h"
#include "covers/cover_cache.h"
#include "mpd/mpd_connection.h"
#include "mpd/mpd_protocol.h"
#include "serve/now_playing_news.h"
#include "serve/second_tick.h"

namespace velmora::jukebox {

struct MpdBridgeConfig {
    MpdAddress address;
    std::filesystem::path coverFolder;
    std::string coverPrefix;  // empty: boards are sent the file's own path
    std::uintmax_t coverCacheBytes = 64 * 1024 * 1024;
    bool covers = true;
    std::chrono::milliseconds replyTime{10000};  // for each of MPD's answers, or it is dropped
    // MPD owes no answer while the bridge waits in idle, so a server that went away without a word
    // (its host gone, a NAT that forgot the connection, a hung process) would never be noticed:
    // this often the bridge ends the idle with noidle, whose answer has the reply time.
    std::chrono::milliseconds idleCheck{30000};
};

class MpdBridge final : public NowPlaying {
  public:
    using Log = std::function<void(const std::string&)>;

    MpdBridge(asio::io_context& io, MpdBridgeConfig config, Log log);
    ~MpdBridge() override;
    MpdBridge(const MpdBridge&) = delete;
    MpdBridge& operator=(const MpdBridge&) = delete;

    void start(NowPlayingListener& listener);
    void stop();

    const Track* playingTrack() const override;
    std::size_t playingPosition() const override;
    std::optional<int> playingSeconds() const override;
    // The entry right after the playing one is MPD's next song (what random, repeat, single and
    // consume will really play); when stopped it is the song play starts with.
    Entry entryAt(std::int64_t position) const override;

  private:
    void connect();
    void lost(const std::string& reason);
    void refresh();
    void idle();
    void apply(const MpdStatus& status, std::vector<MpdSong> songs);
    // Tells the listener what changed for the boards since the last time.
    void notify();
    void wantCover(const std::string& file);
    void fetchCover();
    void readPicture(const std::string& command, const std::string& file,
                     std::shared_ptr<std::string> data);
    void coverDone(const std::string& file, std::string* bytes);
    void coverStored(const std::string& file);
    // Whether the cover of `file` is known or on its way to the cache.
    bool coverKnown(const std::string& file);
    const MpdSong* nextSong() const;

    asio::io_context& io_;
    MpdBridgeConfig config_;
    Log log_;
    CoverCache cache_;  // covers remembered by song file
    NowPlayingListener* listener_ = nullptr;
    std::shared_ptr<MpdConnection> control_;
    std::shared_ptr<MpdConnection> cover_;
    asio::steady_timer retry_;
    asio::steady_timer coverRetry_;
    asio::steady_timer idleCheck_;
    std::chrono::milliseconds backoff_;
    std::chrono::milliseconds coverBackoff_;
    bool connected_ = false;
    bool stopped_ = false;
    std::string lastFailure_;

    MpdStatus status_;
    std::chrono::steady_clock::time_point statusAt_;
    std::map<std::size_t, MpdSong> window_;  // songs around the current one, by 0-based position
    std::optional<MpdSong> next_;            // MPD's next song, when outside the window
    std::string coverWanted_;

    NowPlayingNews news_;
    SecondTick tick_;
};

}  // namespace velmora::jukebox
