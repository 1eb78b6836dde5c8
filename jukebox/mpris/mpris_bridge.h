// SPDX-License-Identifier: MIT
// Follows the desktop's media players for the boards, through MPRIS on the session bus. Players
// are found from the bus's names and its NameOwnerChanged signal and told apart by their unique
// owner, so one player under two names is one player. The boards are shown the player that plays:
// Playing before Paused before Stopped, and among several playing, the one that started last.
// A player whose first reading fails is asked again, and a bus that goes away is opened again, both
// with the back-off of the service's other bridges; meanwhile the boards keep their connections.
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
#include "serve/second_tick.h"

namespace velmora::jukebox::mpris {

struct MprisBridgeConfig {
    std::string player;  // follow only org.mpris.MediaPlayer2.<player>[.instance…]; empty: any
    std::filesystem::path coverFolder;
    std::string coverPrefix;  // empty: boards are sent the file's own path
    std::uintmax_t coverCacheBytes = 64 * 1024 * 1024;
    // How long a track announced with only its file name as title waits for its tags.
    std::chrono::milliseconds settle{120};
    // How long a player that stops while it plays is given to start its next track (VLC stops for
    // about 200 ms between two), and a new track to learn its Next Up and read its cover, before the boards are told.
    std::chrono::milliseconds stopWait{1000};
    std::chrono::milliseconds nextWait{500};
    // A failed reading, or a lost bus, is tried again after this, doubled each time up to the last.
    std::chrono::milliseconds firstRetry{250};
    std::chrono::milliseconds lastRetry{15000};
};

class MprisBridge final : public NowPlaying {
  public:
    using Log = std::function<void(const std::string&)>;

    // Opens the bus with `connect`; throws NoSessionBus when there is none. A bus that goes away
    // later is opened again.
    MprisBridge(asio::io_context& io, MprisBridgeConfig config, Log log, ConnectBus connect);
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
    using Timer = std::shared_ptr<asio::steady_timer>;
    // A reading asked again after a failure, waiting longer each time.
    struct Retry {
        Timer timer;
        std::chrono::milliseconds wait{0};
    };
    struct Player {
        std::set<std::string> names;
        // Its process: one process on two connections (VLC with its D-Bus control twice) is one
        // player, followed through the one whose unique name sorts first.
        std::optional<std::int64_t> process;
        bool ready = false;  // its properties are in
        PlaybackStatus status = PlaybackStatus::Stopped;
        std::uint64_t startedPlaying = 0;  // when it last began to play, in order of events
        PlayerTrack current;
        std::optional<PlayerTrack> settling;  // a track waiting for its tags
        Timer settleTimer;
        // Stopped while playing: the boards are not told until stopWait passes with no new track.
        bool stopHeld = false;
        Timer stopTimer;
        // A new track waits for its Next Up and its cover so that the boards are told of it once.
        bool nextPending = false;
        Timer nextTimer;
        bool coverPending = false;
        Timer coverTimer;
        Retry properties;
        Retry interfaces;
        PositionClock clock;
        bool trackList = false;
        std::vector<std::string> tracks;
        std::size_t position = 0;  // of the current track in `tracks`, from 1; 0: not there
        std::optional<PlayerTrack> next;
        std::string nextId;  // as asked: VLC answers with the current track's id in it
        std::uint64_t nextAsked = 0;
    };

    void connect();
    void subscribe();
    void busLost(const std::string& why);
    void call(Call call, MessageBus::Handler reply);
    // Runs `then` on the player after `wait`, unless it has gone or the timer is set again.
    void after(const std::string& owner, Timer& timer, std::chrono::milliseconds wait,
               std::function<void(Player&)> then);
    void retry(const std::string& owner, Retry Player::*retry,
               void (MprisBridge::*read)(const std::string&));
    bool wanted(const std::string& name) const;
    void addName(const std::string& owner, const std::string& name);
    void removeName(const std::string& owner, const std::string& name);
    void readProperties(const std::string& owner);
    void readInterfaces(const std::string& owner);
    void loadTracks(const std::string& owner);
    void findNext(const std::string& owner);
    void readPosition(const std::string& owner);
    // A Position read (or a Seeked signal) of that player sets its clock.
    void takePosition(const std::string& owner, const Message& message, bool seeked);
    void apply(const std::string& owner, const Dict& properties);
    void applyStatus(Player& player, PlaybackStatus status);
    void setCurrentTrack(const std::string& owner, PlayerTrack track, bool newTrack);
    void onPropertiesChanged(const Message& message);
    void onTrackListSignal(const Message& message);
    void refreshPictures();
    const Player* chosen() const;
    bool twin(const std::string& owner, const Player& player) const;
    void notify();

    asio::io_context& io_;
    MprisBridgeConfig config_;
    Log log_;
    ArtCovers covers_;
    ConnectBus connect_;
    std::unique_ptr<MessageBus> bus_;
    bool busLost_ = false;
    std::string lastBusFailure_;
    asio::steady_timer reconnect_;
    std::chrono::milliseconds reconnectWait_;
    NowPlayingListener* listener_ = nullptr;
    SecondTick tick_;
    std::map<std::string, Player> players_;  // by unique owner name
    std::uint64_t events_ = 0;
    bool stopped_ = false;
    std::string lastChosen_;

    NowPlayingNews news_;
};

}  // namespace velmora::jukebox::mpris
