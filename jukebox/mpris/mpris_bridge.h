// SPDX-License-Identifier: MIT
// Follows media players for the boards, through MPRIS on the session bus (the desktop's players)
// and the system bus (receivers run as services: AirPlay, Spotify Connect). Players are found from
// each bus's names and its NameOwnerChanged signal and told apart by their bus and unique owner, so
// one player under two names is one player. The boards are shown the player that plays:
// Playing before Paused before Stopped, and among several playing, the one that started last.
// Equal otherwise, a player on a bus listed earlier goes first. A player whose first reading fails
// is asked again, and a bus that goes away is opened again, each bus on its own, with the back-off
// of the service's other bridges; meanwhile the boards keep their connections.
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
    // about 200 ms between two), and a new track to learn its Next Up and read its cover, before
    // the boards are told.
    std::chrono::milliseconds stopWait{1000};
    std::chrono::milliseconds nextWait{500};
    // A failed reading, or a lost bus, is tried again after this, doubled each time up to the last.
    std::chrono::milliseconds firstRetry{250};
    std::chrono::milliseconds lastRetry{15000};
};

// A bus to follow players on, and how it is opened.
struct BusToFollow {
    BusKind kind;
    ConnectBus connect;
};

class MprisBridge final : public NowPlaying {
  public:
    using Log = std::function<void(const std::string&)>;

    // Opens each bus; throws NoBus (saying why for each) when none opens. One that does not open
    // while another does, or that goes away later, is opened again.
    MprisBridge(asio::io_context& io, MprisBridgeConfig config, Log log,
                std::vector<BusToFollow> buses);
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
    // A player's connection: its bus (by place in links_) and its unique name there.
    struct Owner {
        std::size_t bus = 0;
        std::string name;
        auto operator<=>(const Owner&) const = default;
    };
    // A bus followed, and its own reconnection.
    struct Link {
        Link(asio::io_context& io, BusToFollow followed, std::chrono::milliseconds wait)
            : kind(followed.kind),
              connect(std::move(followed.connect)),
              reconnect(io),
              reconnectWait(wait) {}
        BusKind kind;
        ConnectBus connect;
        std::unique_ptr<MessageBus> bus;
        bool lost = false;
        std::string lastFailure;
        asio::steady_timer reconnect;
        std::chrono::milliseconds reconnectWait;
    };
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

    // Opens the bus; false (and it is tried again later) when it does not open.
    bool connect(std::size_t bus);
    void subscribe(std::size_t bus);
    void busLost(std::size_t bus, const std::string& why);
    void call(std::size_t bus, Call call, MessageBus::Handler reply);
    // Runs `then` on the player after `wait`, unless it has gone or the timer is set again.
    void after(const Owner& owner, Timer& timer, std::chrono::milliseconds wait,
               std::function<void(Player&)> then);
    void retry(const Owner& owner, Retry Player::*retry, void (MprisBridge::*read)(const Owner&));
    bool wanted(const std::string& name) const;
    void addName(const Owner& owner, const std::string& name);
    void removeName(const Owner& owner, const std::string& name);
    void readProperties(const Owner& owner);
    void readInterfaces(const Owner& owner);
    void loadTracks(const Owner& owner);
    void findNext(const Owner& owner);
    void readPosition(const Owner& owner);
    // A Position read (or a Seeked signal) of that player sets its clock.
    void takePosition(const Owner& owner, const Message& message, bool seeked);
    void apply(const Owner& owner, const Dict& properties);
    void applyStatus(Player& player, PlaybackStatus status);
    void setCurrentTrack(const Owner& owner, PlayerTrack track, bool newTrack);
    void onPropertiesChanged(const Owner& sender, const Message& message);
    void onTrackListSignal(const Owner& sender);
    void refreshPictures();
    const Player* chosen() const;
    bool twin(const Owner& owner, const Player& player) const;
    // What the covers of that player's tracks are kept under.
    std::string lane(const Owner& owner) const;
    void notify();

    asio::io_context& io_;
    MprisBridgeConfig config_;
    Log log_;
    ArtCovers covers_;
    std::vector<Link> links_;  // in the order given: the first wins a tie
    NowPlayingListener* listener_ = nullptr;
    SecondTick tick_;
    std::map<Owner, Player> players_;
    std::uint64_t events_ = 0;
    bool stopped_ = false;
    std::optional<Owner> lastChosen_;

    NowPlayingNews news_;
};

}  // namespace velmora::jukebox::mpris
