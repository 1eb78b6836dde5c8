// SPDX-License-Identifier: MIT
#include "mpris/mpris_bridge.h"

#include <algorithm>

#include <systemd/sd-bus.h>

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
                         std::function<void()> lost)
    : io_(io),
      config_(std::move(config)),
      log_(std::move(log)),
      cache_(config_.coverFolder, config_.coverPrefix, config_.coverCacheBytes),
      covers_(
          io, cache_, [this] { refreshPictures(); }, log_),
      bus_(io,
           [this, lost = std::move(lost)](const std::string& why) {
               log_(why);
               players_.clear();
               notify();
               stop();
               lost();
           }),
      clock_(io) {}

MprisBridge::~MprisBridge() {
    stop();
}

void MprisBridge::start(NowPlayingListener& listener) {
    listener_ = &listener;
    // The signals first: the bus daemon then reports every change after the names it lists.
    bus_.match(
        "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
        "member='NameOwnerChanged',arg0namespace='org.mpris.MediaPlayer2'",
        [this](Message& message) {
            const auto name = message.readText();
            const auto before = message.readText();
            const auto after = message.readText();
            if (!name || !before || !after) return;
            if (!before->empty()) removeName(*before, *name);
            if (!after->empty()) addName(*after, *name);
        });
    bus_.match(
        "type='signal',interface='org.freedesktop.DBus.Properties',"
        "member='PropertiesChanged',path='/org/mpris/MediaPlayer2'",
        [this](Message& message) { onPropertiesChanged(message); });
    bus_.match(
        "type='signal',interface='org.mpris.MediaPlayer2.Player',member='Seeked',"
        "path='/org/mpris/MediaPlayer2'",
        [this](Message& message) { takePosition(message.sender(), message, true); });
    bus_.match(
        "type='signal',interface='org.mpris.MediaPlayer2.TrackList',"
        "path='/org/mpris/MediaPlayer2'",
        [this](Message& message) { onTrackListSignal(message); });
    bus_.call(kDBus, "/org/freedesktop/DBus", kDBus, "ListNames", nullptr, [this](Message& reply) {
        const auto names = reply.readValue();
        if (!names) return;
        for (const std::string& name : textsOf(*names)) {
            if (!wanted(name)) continue;
            bus_.call(
                kDBus, "/org/freedesktop/DBus", kDBus, "GetNameOwner",
                [name](sd_bus_message* m) { return sd_bus_message_append(m, "s", name.c_str()); },
                [this, name](Message& owner) {
                    if (const auto unique = owner.readText()) addName(*unique, name);
                });
        }
    });
    notify();
}

void MprisBridge::stop() {
    stopped_ = true;
    listener_ = nullptr;
    clock_.cancel();
    for (auto& [owner, player] : players_)
        if (player.settleTimer) player.settleTimer->cancel();
    covers_.stop();
    bus_.close();
}

bool MprisBridge::wanted(const std::string& name) const {
    if (!name.starts_with(kPrefix)) return false;
    const std::string_view rest = std::string_view(name).substr(kPrefix.size());
    // A proxy that re-exports another player would show that player twice.
    const std::string& want = config_.player.empty() ? std::string("playerctld") : config_.player;
    const bool named = rest == want || rest.starts_with(want + ".");
    return config_.player.empty() ? !named : named;
}

void MprisBridge::addName(const std::string& owner, const std::string& name) {
    if (!wanted(name) || stopped_) return;
    const auto [it, fresh] = players_.try_emplace(owner);
    it->second.names.insert(name);
    if (fresh) load(owner);
}

void MprisBridge::removeName(const std::string& owner, const std::string& name) {
    const auto it = players_.find(owner);
    if (it == players_.end()) return;
    it->second.names.erase(name);
    if (!it->second.names.empty()) return;
    players_.erase(it);
    notify();
    scheduleTick();
}

void MprisBridge::load(const std::string& owner) {
    bus_.call(
        owner, kPath, kProperties, "GetAll",
        [](sd_bus_message* m) { return sd_bus_message_append(m, "s", kPlayer.c_str()); },
        [this, owner](Message& reply) {
            const auto properties = reply.readDict();
            const auto it = players_.find(owner);
            if (!properties || it == players_.end()) return;
            it->second.ready = true;
            apply(owner, *properties);
        });
    // HasTrackList is not to be trusted (a player says false and has one): ask what it implements.
    bus_.call(owner, kPath, "org.freedesktop.DBus.Introspectable", "Introspect", nullptr,
              [this, owner](Message& reply) {
                  const auto xml = reply.readText();
                  const auto it = players_.find(owner);
                  if (!xml || it == players_.end()) return;
                  if (xml->find("\"" + kTrackList + "\"") == std::string::npos) return;
                  it->second.trackList = true;
                  loadTracks(owner);
              });
}

void MprisBridge::loadTracks(const std::string& owner) {
    bus_.getProperty(owner, kPath, kTrackList, "Tracks", [this, owner](Message& reply) {
        const auto tracks = reply.readValue();
        const auto it = players_.find(owner);
        if (!tracks || it == players_.end()) return;
        it->second.tracks = textsOf(*tracks);
        findNext(owner);
    });
}

void MprisBridge::findNext(const std::string& owner) {
    Player& player = players_.at(owner);
    const auto at = std::find(player.tracks.begin(), player.tracks.end(), player.current.trackId);
    const bool found = !player.current.trackId.empty() && at != player.tracks.end();
    player.index = found ? static_cast<std::size_t>(at - player.tracks.begin()) + 1 : 0;
    const std::uint64_t asked = ++player.nextAsked;
    if (!found || player.index >= player.tracks.size()) {
        player.next.reset();
        return notify();
    }
    const std::string id = player.tracks[player.index];
    if (player.next && player.nextId == id) return notify();  // known already
    player.next.reset();                                      // never the entry after another track
    player.nextId = id;
    bus_.call(
        owner, kPath, kTrackList, "GetTracksMetadata",
        [id](sd_bus_message* m) {
            int error = sd_bus_message_open_container(m, 'a', "o");
            if (error >= 0) error = sd_bus_message_append_basic(m, 'o', id.c_str());
            return error < 0 ? error : sd_bus_message_close_container(m);
        },
        [this, owner, asked](Message& reply) {
            const auto it = players_.find(owner);
            if (it == players_.end() || it->second.nextAsked != asked) return;
            Player& player = it->second;
            player.next.reset();
            const auto entries = reply.readValue();
            const auto* list = entries ? std::get_if<Value::Array>(&entries->data) : nullptr;
            if (list && !list->empty()) {
                player.next = trackFromMetadata(dictOf(list->front()));
                player.next->track.picture = covers_.pictureFor(player.next->artUrl);
            }
            notify();
        });
}

void MprisBridge::readPosition(const std::string& owner) {
    bus_.getProperty(owner, kPath, kPlayer, "Position",
                     [this, owner](Message& reply) { takePosition(owner, reply, false); });
}

void MprisBridge::takePosition(const std::string& owner, Message& message, bool seeked) {
    const auto it = players_.find(owner);
    const auto value = message.readValue();
    const auto position = value ? integerOf(*value) : std::nullopt;
    if (it == players_.end() || !position) return;
    const std::chrono::microseconds at(*position);
    if (seeked)
        it->second.clock.seeked(at, Clock::now());
    else
        it->second.clock.reading(at, Clock::now());
    notify();
    scheduleTick();
}

void MprisBridge::apply(const std::string& owner, const Dict& properties) {
    Player& player = players_.at(owner);
    const auto now = Clock::now();
    bool changed = false;
    if (const auto status = properties.find("PlaybackStatus"); status != properties.end()) {
        const PlaybackStatus next = statusOf(status->second);
        if (next != player.status) {
            if (next == PlaybackStatus::Playing) player.startedPlaying = ++events_;
            player.clock.setStatus(next, now);
            player.status = next;
            changed = true;
        }
    }
    if (const auto metadata = properties.find("Metadata"); metadata != properties.end()) {
        PlayerTrack track = trackFromMetadata(dictOf(metadata->second));
        const bool shown = track.key() == player.current.key();
        const bool waiting = player.settling && track.key() == player.settling->key();
        if (!shown && track.titleFromFile && config_.settle.count() > 0) {
            // Only the file's name so far: the tags usually follow within milliseconds.
            player.settling = std::move(track);
            if (!waiting) {
                if (!player.settleTimer)
                    player.settleTimer = std::make_shared<asio::steady_timer>(io_);
                player.settleTimer->expires_after(config_.settle);
                player.settleTimer->async_wait([this, owner](const std::error_code& error) {
                    if (error) return;
                    const auto it = players_.find(owner);
                    if (it == players_.end() || !it->second.settling) return;
                    PlayerTrack settled = std::move(*it->second.settling);
                    it->second.settling.reset();
                    show(owner, std::move(settled), true);
                    readPosition(owner);
                    notify();
                    scheduleTick();
                });
            }
        } else {
            if (player.settleTimer) player.settleTimer->cancel();
            player.settling.reset();
            show(owner, std::move(track), !shown);
            changed = changed || !shown;
        }
    }
    if (changed) readPosition(owner);
    notify();
    scheduleTick();
}

void MprisBridge::show(const std::string& owner, PlayerTrack track, bool newTrack) {
    Player& player = players_.at(owner);
    if (newTrack) player.clock.newTrack(Clock::now());
    track.track.picture = covers_.pictureFor(track.artUrl);
    player.current = std::move(track);
    if (player.trackList) findNext(owner);
}

void MprisBridge::onPropertiesChanged(Message& message) {
    const auto it = players_.find(message.sender());
    if (it == players_.end()) return;
    const auto interface = message.readText();
    const auto changed = message.readDict();
    const auto invalidatedValue = message.readValue();
    if (!interface || !changed) return;
    const auto invalidated =
        invalidatedValue ? textsOf(*invalidatedValue) : std::vector<std::string>();
    const std::string owner = it->first;
    if (*interface == kPlayer) {
        if (!it->second.ready) return;  // GetAll is on its way with everything
        apply(owner, *changed);
        if (mentions(invalidated, "Metadata") || mentions(invalidated, "PlaybackStatus"))
            load(owner);
    } else if (*interface == kTrackList && it->second.trackList) {
        if (const auto tracks = changed->find("Tracks"); tracks != changed->end()) {
            it->second.tracks = textsOf(tracks->second);
            findNext(owner);
        } else if (mentions(invalidated, "Tracks")) {
            loadTracks(owner);
        }
    }
}

void MprisBridge::onTrackListSignal(Message& message) {
    // TrackListReplaced, TrackAdded, TrackRemoved, TrackMetadataChanged: the list is read again.
    const auto it = players_.find(message.sender());
    if (it != players_.end() && it->second.trackList) loadTracks(it->first);
}

void MprisBridge::refreshPictures() {
    for (auto& [owner, player] : players_) {
        player.current.track.picture = covers_.pictureFor(player.current.artUrl);
        if (player.next) player.next->track.picture = covers_.pictureFor(player.next->artUrl);
    }
    notify();
}

const MprisBridge::Player* MprisBridge::chosen() const {
    const Player* best = nullptr;
    for (const auto& [owner, player] : players_) {
        if (!player.ready) continue;
        if (!best || std::pair(player.status, player.startedPlaying) >
                         std::pair(best->status, best->startedPlaying))
            best = &player;
    }
    return best;
}

void MprisBridge::notify() {
    if (!listener_) return;
    const Player* player = chosen();
    std::string owner;
    for (const auto& [name, each] : players_)
        if (&each == player) owner = name;
    // The shortest of its names, the one without an instance number.
    if (player && owner != lastChosen_) log_("following " + *player->names.begin());
    lastChosen_ = owner;
    news_.tell(listener_, *this);
}

void MprisBridge::scheduleTick() {
    clock_.cancel();
    const Player* player = chosen();
    if (stopped_ || !player || player->status != PlaybackStatus::Playing) return;
    clock_.expires_after(player->clock.untilNextSecond(Clock::now()) + milliseconds(2));
    clock_.async_wait([this](const std::error_code& error) {
        if (error || stopped_) return;
        notify();
        scheduleTick();
    });
}

const Track* MprisBridge::playingTrack() const {
    const Player* player = chosen();
    if (!player || player->status == PlaybackStatus::Stopped) return nullptr;
    return &player->current.track;
}

std::size_t MprisBridge::playingPosition() const {
    const Player* player = chosen();
    return player && player->index > 0 ? player->index : 1;
}

std::optional<int> MprisBridge::playingSeconds() const {
    const Track* track = playingTrack();
    if (!track) return std::nullopt;
    int seconds = chosen()->clock.seconds(Clock::now());
    // The local clock may run past the end before the player says the next track began.
    if (track->lengthKnown) seconds = std::min(seconds, std::max(0, track->seconds - 1));
    return seconds;
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
