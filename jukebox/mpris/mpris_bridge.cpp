// SPDX-License-Identifier: MIT
#include "mpris/mpris_bridge.h"

#include <algorithm>

namespace velmora::jukebox::mpris {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kPrefix = "org.mpris.MediaPlayer2.";
const std::string kPath = "/org/mpris/MediaPlayer2";
const std::string kPlayer = "org.mpris.MediaPlayer2.Player";
const std::string kTrackList = "org.mpris.MediaPlayer2.TrackList";
const std::string kProperties = "org.freedesktop.DBus.Properties";
const std::string kDBus = "org.freedesktop.DBus";
const std::string kDBusPath = "/org/freedesktop/DBus";

PlaybackStatus statusOf(const Value& value) {
    const std::string text = textOf(value).value_or("");
    if (text == "Playing") return PlaybackStatus::Playing;
    if (text == "Paused") return PlaybackStatus::Paused;
    return PlaybackStatus::Stopped;
}

bool mentions(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

MprisBridge::MprisBridge(asio::io_context& io, MprisBridgeConfig config, Log log,
                         std::vector<BusToFollow> buses)
    : io_(io),
      config_(std::move(config)),
      log_(std::move(log)),
      covers_(
          io, CoverFolder(config_.coverFolder, config_.coverPrefix, config_.coverCacheBytes),
          [this] { refreshPictures(); }, log_),
      tick_(
          io,
          [this]() -> std::optional<std::chrono::nanoseconds> {
              const Player* player = chosen();
              if (stopped_ || !player || player->status != PlaybackStatus::Playing)
                  return std::nullopt;
              return player->clock.at(Clock::now());
          },
          [this] { notify(); }) {
    links_.reserve(buses.size());
    for (BusToFollow& each : buses) links_.emplace_back(io_, std::move(each), config_.firstRetry);
    // Where no bus opens there is nothing to follow; where one does, the others are tried again.
    std::vector<std::string> failures;
    for (std::size_t bus = 0; bus < links_.size(); ++bus) {
        try {
            links_[bus].bus =
                links_[bus].connect([this, bus](const std::string& why) { busLost(bus, why); });
        } catch (const NoBus& error) {
            failures.push_back(error.what());
        }
    }
    if (failures.size() < links_.size()) {
        for (std::size_t bus = 0, failed = 0; bus < links_.size(); ++bus)
            if (!links_[bus].bus) busLost(bus, failures[failed++]);
        return;
    }
    std::string why;
    for (const std::string& failure : failures) why += (why.empty() ? "" : ", ") + failure;
    throw NoBus(why.empty() ? "no bus to follow players on" : why);
}

MprisBridge::~MprisBridge() {
    stop();
}

void MprisBridge::start(NowPlayingListener& listener) {
    listener_ = &listener;
    for (std::size_t bus = 0; bus < links_.size(); ++bus)
        if (links_[bus].bus) subscribe(bus);
    notify();
}

void MprisBridge::stop() {
    stopped_ = true;
    listener_ = nullptr;
    tick_.stop();
    for (auto& [owner, player] : players_)
        for (Timer* timer :
             {&player.settleTimer, &player.stopTimer, &player.nextTimer, &player.coverTimer,
              &player.properties.timer, &player.interfaces.timer})
            if (*timer) (*timer)->cancel();
    covers_.stop();
    for (Link& link : links_) {
        link.reconnect.cancel();
        if (link.bus) link.bus->close();
    }
}

void MprisBridge::call(std::size_t bus, Call call, MessageBus::Handler reply) {
    if (links_[bus].bus && !stopped_) links_[bus].bus->call(call, std::move(reply));
}

void MprisBridge::subscribe(std::size_t bus) {
    MessageBus& on = *links_[bus].bus;
    // The signals first: the bus daemon then reports every change after the names it lists.
    on.match(
        "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
        "member='NameOwnerChanged',arg0namespace='org.mpris.MediaPlayer2'",
        [this, bus](const Message& message) {
            const auto name = message.text(0);
            const auto before = message.text(1);
            const auto after = message.text(2);
            if (!name || !before || !after) return;
            if (!before->empty()) removeName({bus, *before}, *name);
            if (!after->empty()) addName({bus, *after}, *name);
        });
    on.match(
        "type='signal',interface='org.freedesktop.DBus.Properties',"
        "member='PropertiesChanged',path='/org/mpris/MediaPlayer2'",
        [this, bus](const Message& message) {
            onPropertiesChanged({bus, message.sender}, message);
        });
    on.match(
        "type='signal',interface='org.mpris.MediaPlayer2.Player',member='Seeked',"
        "path='/org/mpris/MediaPlayer2'",
        [this, bus](const Message& message) {
            takePosition({bus, message.sender}, message, true);
        });
    on.match(
        "type='signal',interface='org.mpris.MediaPlayer2.TrackList',"
        "path='/org/mpris/MediaPlayer2'",
        [this, bus](const Message& message) {
            onTrackListSignal({bus, message.sender});
        });
    call(bus, {kDBus, kDBusPath, kDBus, "ListNames", "", {}}, [this, bus](const Message& reply) {
        Link& link = links_[bus];
        const std::string named = std::string("the ") + busName(link.kind);
        const Value* names = reply.argument(0);
        if (!names) return log_(named + " did not list its names: " + reply.error);
        // The bus answers: a bus lost from now on is tried again from the first wait.
        link.reconnectWait = config_.firstRetry;
        if (link.lost) log_(named + " is back");
        link.lost = false;
        for (const std::string& name : textsOf(*names)) {
            if (!wanted(name)) continue;
            call(bus, {kDBus, kDBusPath, kDBus, "GetNameOwner", "s", {name}},
                 [this, bus, name](const Message& owner) {
                     // An error here is a player gone meanwhile, not a name.
                     if (const auto unique = owner.text(0)) addName({bus, *unique}, name);
                 });
        }
    });
}

void MprisBridge::busLost(std::size_t bus, const std::string& why) {
    // Called from inside the bus: it is replaced from the loop, later.
    if (stopped_) return;
    Link& link = links_[bus];
    if (!link.lost || why != link.lastFailure) log_(why + "; opening it again");
    link.lastFailure = why;
    link.lost = true;
    // Only the players on that bus go: those on the others stay followed.
    std::erase_if(players_, [bus](const auto& each) { return each.first.bus == bus; });
    notify();
    tick_.restart();
    link.reconnect.expires_after(link.reconnectWait);
    link.reconnect.async_wait([this, bus](const std::error_code& error) {
        // Before start, start listens to it with the others.
        if (!error && connect(bus) && listener_) subscribe(bus);
    });
    link.reconnectWait = std::min(link.reconnectWait * 2, config_.lastRetry);
}

bool MprisBridge::connect(std::size_t bus) {
    if (stopped_) return false;
    Link& link = links_[bus];
    link.bus.reset();
    try {
        link.bus = link.connect([this, bus](const std::string& why) { busLost(bus, why); });
    } catch (const NoBus& error) {
        busLost(bus, error.what());
        return false;
    }
    return true;
}

void MprisBridge::after(const Owner& owner, Timer& timer, std::chrono::milliseconds wait,
                        std::function<void(Player&)> then) {
    if (!timer) timer = std::make_shared<asio::steady_timer>(io_);
    timer->expires_after(wait);
    timer->async_wait([this, owner, then = std::move(then)](const std::error_code& error) {
        if (error || stopped_) return;
        const auto it = players_.find(owner);
        if (it != players_.end()) then(it->second);
    });
}

void MprisBridge::retry(const Owner& owner, Retry Player::*retry,
                        void (MprisBridge::*read)(const Owner&)) {
    const auto it = players_.find(owner);
    if (it == players_.end()) return;
    Retry& again = it->second.*retry;
    again.wait =
        again.wait.count() == 0 ? config_.firstRetry : std::min(again.wait * 2, config_.lastRetry);
    after(owner, again.timer, again.wait, [this, owner, read](Player&) { (this->*read)(owner); });
}

bool MprisBridge::wanted(const std::string& name) const {
    if (!name.starts_with(kPrefix)) return false;
    const std::string_view rest = std::string_view(name).substr(kPrefix.size());
    // A proxy that re-exports another player would show that player twice.
    const std::string& want = config_.player.empty() ? std::string("playerctld") : config_.player;
    const bool named = rest == want || rest.starts_with(want + ".");
    return config_.player.empty() ? !named : named;
}

void MprisBridge::addName(const Owner& owner, const std::string& name) {
    if (!wanted(name) || stopped_) return;
    const auto [it, fresh] = players_.try_emplace(owner);
    it->second.names.insert(name);
    if (!fresh) return;
    readProperties(owner);
    readInterfaces(owner);
    call(owner.bus, {kDBus, kDBusPath, kDBus, "GetConnectionUnixProcessID", "s", {owner.name}},
         [this, owner](const Message& reply) {
             const auto it = players_.find(owner);
             const Value* process = reply.argument(0);
             if (it == players_.end() || !process) return;
             it->second.process = integerOf(*process);
             notify();
         });
}

void MprisBridge::removeName(const Owner& owner, const std::string& name) {
    const auto it = players_.find(owner);
    if (it == players_.end()) return;
    it->second.names.erase(name);
    if (!it->second.names.empty()) return;
    players_.erase(it);
    notify();
    tick_.restart();
}

void MprisBridge::readProperties(const Owner& owner) {
    call(owner.bus, {owner.name, kPath, kProperties, "GetAll", "s", {kPlayer}},
         [this, owner](const Message& reply) {
             const auto it = players_.find(owner);
             if (it == players_.end()) return;
             const auto properties = reply.dict(0);
             // Busy at start-up, or its name claimed before its object is there: asked again.
             if (!properties)
                 return retry(owner, &Player::properties, &MprisBridge::readProperties);
             it->second.properties.wait = {};
             it->second.ready = true;
             apply(owner, *properties);
         });
}

void MprisBridge::readInterfaces(const Owner& owner) {
    // HasTrackList is not to be trusted (a player says false and has one): ask what it implements.
    call(owner.bus,
         {owner.name, kPath, "org.freedesktop.DBus.Introspectable", "Introspect", "", {}},
         [this, owner](const Message& reply) {
             const auto it = players_.find(owner);
             if (it == players_.end()) return;
             const auto xml = reply.text(0);
             if (!xml) return retry(owner, &Player::interfaces, &MprisBridge::readInterfaces);
             it->second.interfaces.wait = {};
             if (xml->find("\"" + kTrackList + "\"") == std::string::npos) return;
             it->second.trackList = true;
             loadTracks(owner);
         });
}

void MprisBridge::loadTracks(const Owner& owner) {
    call(owner.bus, {owner.name, kPath, kProperties, "Get", "ss", {kTrackList, "Tracks"}},
         [this, owner](const Message& reply) {
             const Value* tracks = reply.argument(0);
             const auto it = players_.find(owner);
             if (!tracks || it == players_.end()) return;
             it->second.tracks = textsOf(*tracks);
             findNext(owner);
         });
}

void MprisBridge::findNext(const Owner& owner) {
    Player& player = players_.at(owner);
    const auto at = std::find(player.tracks.begin(), player.tracks.end(), player.current.trackId);
    const bool found = !player.current.trackId.empty() && at != player.tracks.end();
    player.position = found ? static_cast<std::size_t>(at - player.tracks.begin()) + 1 : 0;
    const std::uint64_t asked = ++player.nextAsked;
    const auto known = [this](Player& player) {
        player.nextPending = false;
        if (player.nextTimer) player.nextTimer->cancel();
        notify();
    };
    if (!found || player.position >= player.tracks.size()) {
        player.next.reset();
        return known(player);
    }
    // Counted from 1, the current track's position is the next one's index.
    const std::string id = player.tracks[player.position];
    if (player.next && player.nextId == id) return known(player);
    player.next.reset();  // never the entry after another track
    player.nextId = id;
    player.nextPending = true;
    after(owner, player.nextTimer, config_.nextWait, known);
    call(owner.bus,
         {owner.name, kPath, kTrackList, "GetTracksMetadata", "ao", {Value(Value::Array{id})}},
         [this, owner, asked, known](const Message& reply) {
             const auto it = players_.find(owner);
             if (it == players_.end() || it->second.nextAsked != asked) return;
             Player& player = it->second;
             player.next.reset();
             const Value* entries = reply.argument(0);
             const auto* list = entries ? std::get_if<Value::Array>(&entries->data) : nullptr;
             if (list && !list->empty()) {
                 player.next = trackFromMetadata(dictOf(list->front()));
                 player.next->track.picture =
                     covers_.pictureFor(player.next->artUrl, lane(owner) + " next").value_or("");
             }
             known(player);
         });
}

void MprisBridge::readPosition(const Owner& owner) {
    call(owner.bus, {owner.name, kPath, kProperties, "Get", "ss", {kPlayer, "Position"}},
         [this, owner](const Message& reply) { takePosition(owner, reply, false); });
}

void MprisBridge::takePosition(const Owner& owner, const Message& message, bool seeked) {
    const auto it = players_.find(owner);
    const Value* value = message.argument(0);
    std::optional<std::int64_t> position;
    if (value) position = integerOf(*value);
    if (it == players_.end() || !position) return;
    const std::chrono::microseconds at(position.value_or(0));
    if (seeked)
        it->second.clock.seeked(at, Clock::now());
    else
        it->second.clock.reading(at, Clock::now());
    notify();
    tick_.restart();
}

void MprisBridge::apply(const Owner& owner, const Dict& properties) {
    Player& player = players_.at(owner);
    const bool wasStopHeld = player.stopHeld;
    bool changed = false;
    if (const auto status = properties.find("PlaybackStatus"); status != properties.end()) {
        const PlaybackStatus next = statusOf(status->second);
        if (next == PlaybackStatus::Stopped && player.status == PlaybackStatus::Playing &&
            config_.stopWait.count() > 0) {
            // Perhaps only between two tracks: the boards hear of it when no track follows.
            if (!player.stopHeld)
                after(owner, player.stopTimer, config_.stopWait, [this](Player& player) {
                    player.stopHeld = false;
                    applyStatus(player, PlaybackStatus::Stopped);
                    notify();
                    tick_.restart();
                });
            player.stopHeld = true;
        } else {
            player.stopHeld = false;
            if (player.stopTimer) player.stopTimer->cancel();
            changed = next != player.status;
            applyStatus(player, next);
        }
    }
    if (const auto metadata = properties.find("Metadata"); metadata != properties.end()) {
        PlayerTrack track = trackFromMetadata(dictOf(metadata->second));
        const bool shown = track.key() == player.current.key();
        const bool waiting = player.settling && track.key() == player.settling->key();
        if (!shown && track.titleFromFile && config_.settle.count() > 0) {
            // Only the file's name so far: the tags usually follow within milliseconds.
            player.settling = std::move(track);
            if (!waiting)
                after(owner, player.settleTimer, config_.settle, [this, owner](Player& player) {
                    if (!player.settling) return;
                    PlayerTrack settled = std::move(*player.settling);
                    player.settling.reset();
                    setCurrentTrack(owner, std::move(settled), true);
                    readPosition(owner);
                    notify();
                    tick_.restart();
                });
        } else {
            if (player.settleTimer) player.settleTimer->cancel();
            player.settling.reset();
            setCurrentTrack(owner, std::move(track), !shown);
            changed = changed || !shown;
        }
    }
    // A held stop that a new track ended: the track plays from its start.
    if (wasStopHeld && !player.stopHeld) changed = true;
    if (changed) readPosition(owner);
    notify();
    tick_.restart();
}

void MprisBridge::applyStatus(Player& player, PlaybackStatus status) {
    if (status == player.status) return;
    if (status == PlaybackStatus::Playing) player.startedPlaying = ++events_;
    player.clock.setStatus(status, Clock::now());
    player.status = status;
}

void MprisBridge::setCurrentTrack(const Owner& owner, PlayerTrack track, bool newTrack) {
    Player& player = players_.at(owner);
    if (newTrack) player.clock.newTrack(Clock::now());
    const auto picture = covers_.pictureFor(track.artUrl, lane(owner));
    track.track.picture = picture.value_or("");
    player.current = std::move(track);
    player.coverPending = !picture;
    if (player.coverPending)
        after(owner, player.coverTimer, config_.nextWait, [this](Player& player) {
            player.coverPending = false;
            notify();
        });
    else if (player.coverTimer)
        player.coverTimer->cancel();
    if (player.trackList) findNext(owner);
}

void MprisBridge::onPropertiesChanged(const Owner& sender, const Message& message) {
    const auto it = players_.find(sender);
    if (it == players_.end()) return;
    const auto interface = message.text(0);
    const auto changed = message.dict(1);
    const Value* invalidatedValue = message.argument(2);
    if (!interface || !changed) return;
    const auto invalidated =
        invalidatedValue ? textsOf(*invalidatedValue) : std::vector<std::string>();
    const Owner owner = it->first;
    if (*interface == kPlayer) {
        if (!it->second.ready) return;  // GetAll is on its way with everything
        apply(owner, *changed);
        if (mentions(invalidated, "Metadata") || mentions(invalidated, "PlaybackStatus"))
            readProperties(owner);
    } else if (*interface == kTrackList && it->second.trackList) {
        if (const auto tracks = changed->find("Tracks"); tracks != changed->end()) {
            it->second.tracks = textsOf(tracks->second);
            findNext(owner);
        } else if (mentions(invalidated, "Tracks")) {
            loadTracks(owner);
        }
    }
}

void MprisBridge::onTrackListSignal(const Owner& sender) {
    // TrackListReplaced, TrackAdded, TrackRemoved, TrackMetadataChanged: the list is read again.
    const auto it = players_.find(sender);
    if (it != players_.end() && it->second.trackList) loadTracks(it->first);
}

void MprisBridge::refreshPictures() {
    for (auto& [owner, player] : players_) {
        const auto picture = covers_.pictureFor(player.current.artUrl, lane(owner));
        player.current.track.picture = picture.value_or("");
        if (picture && player.coverPending) {
            player.coverPending = false;
            player.coverTimer->cancel();
        }
        if (player.next)
            player.next->track.picture =
                covers_.pictureFor(player.next->artUrl, lane(owner) + " next").value_or("");
    }
    notify();
}

bool MprisBridge::twin(const Owner& owner, const Player& player) const {
    if (!player.process) return false;
    for (const auto& [other, each] : players_) {
        if (other == owner) return false;  // the first of its process
        if (each.process == player.process) return true;
    }
    return false;
}

std::string MprisBridge::lane(const Owner& owner) const {
    return std::to_string(owner.bus) + " " + owner.name;
}

const MprisBridge::Player* MprisBridge::chosen() const {
    const Player* best = nullptr;
    for (const auto& [owner, player] : players_) {
        if (!player.ready || twin(owner, player)) continue;
        if (!best || std::pair(player.status, player.startedPlaying) >
                         std::pair(best->status, best->startedPlaying))
            best = &player;
    }
    return best;
}

void MprisBridge::notify() {
    if (!listener_) return;
    const Player* player = chosen();
    // A stop that may be only between two tracks, or a new track without its Next Up or its cover
    // yet: the boards are told when it is known, once.
    if (player && (player->stopHeld || player->nextPending || player->coverPending)) return;
    std::optional<Owner> owner;
    for (const auto& [key, each] : players_)
        if (&each == player) owner = key;
    // The shortest of its names, the one without an instance number.
    if (owner && owner != lastChosen_)
        log_("following " + *player->names.begin() + " on the " + busName(links_[owner->bus].kind));
    lastChosen_ = owner;
    news_.tell(listener_, *this);
}

const Track* MprisBridge::playingTrack() const {
    const Player* player = chosen();
    if (!player || player->status == PlaybackStatus::Stopped) return nullptr;
    return &player->current.track;
}

std::size_t MprisBridge::playingPosition() const {
    const Player* player = chosen();
    return player && player->position > 0 ? player->position : 1;
}

std::optional<int> MprisBridge::playingSeconds() const {
    const Track* track = playingTrack();
    if (!track) return std::nullopt;
    return secondsShown(chosen()->clock.seconds(Clock::now()), *track);
}

Entry MprisBridge::entryAt(std::int64_t position) const {
    const Player* player = chosen();
    const Track* playing = playingTrack();
    if (!playing) return {};
    const auto current = static_cast<std::int64_t>(playingPosition());
    if (position == current) return {playing, playingPosition()};
    if (position == current + 1 && player->next)
        return {&player->next->track, playingPosition() + 1};
    return {};
}

}  // namespace velmora::jukebox::mpris
