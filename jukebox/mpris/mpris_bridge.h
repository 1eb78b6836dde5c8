// SPDX-License-Identifier: MIT
// Follows the desktop's media players for the boards, through MPRIS on the session bus. Players
// are found from the bus's names and its NameOwnerChanged signal and told apart by their unique
// owner, so one player under two names is one player. The boards are shown the player that plays:
// Playing before Paused before Stopped, and among several playing, the one that started last.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include "common/now_playing.h"
#include "mpris/art_covers.h"
#include "mpris/bus.h"
#include "mpris/metadata.h"
#include "mpris/position_clock.h"
#include "serve/now_playing_news.h"

namespace velmora::jukebox::mpris {

struct MprisBridgeConfig {
    std::string player;  // follow only org.mpris.MediaPlayer2.<player>[.instance…]; empty: any
    std::filesystem::path coverFolder;
    std::string coverPrefix;  // empty: boards are sent the file's own path
    std::uintmax_t coverCacheBytes = 64 * 1024 * 1024;
    // How long a track announced with only its file name as title waits for its tags.
    std::chrono::milliseconds settle{120};
};

class MprisBridge final : public NowPlaying {
  public:
    using Log = std::function<void(const std::string&)>;

    // Connects to the session bus; throws NoSessionBus. `lost` is called when the bus goes away.
    MprisBridge(asio::io_context& io, MprisBridgeConfig config, Log log,
                std::function<void()> lost);
    ~MprisBridge() override;
    MprisBridge(const MprisBridge&) = delete;
    MprisBridge& operator=(const MprisBridge&) = delete;

    void start(NowPlayingListener& listener);
    void stop();

    const Track* playingTrack() const override;
    std::size_t playingPosition() const override;
    std::optional<int> playingSeconds() const override;
    // The entry after the playing one is the next in the player's TrackList, when it has one;
    // otherwise nothing (the board blanks its "Next Up:").
    Entry entryAt(std::int64_t position) const override;

  private:
    struct Player {
        std::set<std::string> names;
        bool ready = false;  // its properties are in
        PlaybackStatus status = PlaybackStatus::Stopped;
        std::uint64_t startedPlaying = 0;  // when it last began to play, in order of events
        PlayerTrack current;
        std::optional<PlayerTrack> settling;  // a track waiting for its tags
        std::shared_ptr<asio::steady_timer> settleTimer;
        PositionClock clock;
        bool trackList = false;
        std::vector<std::string> tracks;
        std::size_t index = 0;  // 1-based place of the current track in `tracks`; 0: not there
        std::optional<PlayerTrack> next;
        std::string nextId;  // as asked: VLC answers with the current track's id in it
        std::uint64_t nextAsked = 0;
    };

    bool wanted(const std::string& name) const;
    void addName(const std::string& owner, const std::string& name);
    void removeName(const std::string& owner, const std::string& name);
    void load(const std::string& owner);
    void loadTracks(const std::string& owner);
    void findNext(const std::string& owner);
    void readPosition(const std::string& owner);
    // A Position read (or a Seeked signal) of that player sets its clock.
    void takePosition(const std::string& owner, Message& message, bool seeked);
    void apply(const std::string& owner, const Dict& properties);
    void show(const std::string& owner, PlayerTrack track, bool newTrack);
    void onPropertiesChanged(Message& message);
    void onTrackListSignal(Message& message);
    void refreshPictures();
    const Player* chosen() const;
    void notify();
    void scheduleTick();

    asio::io_context& io_;
    MprisBridgeConfig config_;
    Log log_;
    ArtCovers covers_;
    Bus bus_;
    NowPlayingListener* listener_ = nullptr;
    asio::steady_timer clock_;
    std::map<std::string, Player> players_;  // by unique owner name
    std::uint64_t events_ = 0;
    bool stopped_ = false;
    std::string lastChosen_;

    NowPlayingNews news_;
};

}  // namespace velmora::jukebox::mpris
