// SPDX-License-Identifier: MIT
#include "playlist/player.h"

#include <stdexcept>
#include <utility>

namespace velmora::jukebox {

Player::Player(Playlist tracks) : tracks_(std::move(tracks)) {
    if (tracks_.empty()) throw std::invalid_argument("a jukebox needs at least one track");
    for (auto& track : tracks_) {
        if (track.seconds < 1) track.seconds = 1;
        roundMs_ += track.seconds * 1000LL;
    }
}

const Track* Player::entry(std::int64_t position) const {
    if (position < 1 || static_cast<std::uint64_t>(position) > tracks_.size()) return nullptr;
    return &tracks_[static_cast<std::size_t>(position - 1)];
}

Entry Player::entryAt(std::int64_t position) const {
    if (static_cast<std::uint64_t>(position) == tracks_.size() + 1) return {&tracks_.front(), 1};
    return {entry(position), static_cast<std::size_t>(position)};
}

void Player::advanceTo(std::int64_t playMs, PlayerListener& listener) {
    if (playMs < trackStartMs_ + elapsed_ * 1000LL) return;
    if (playMs - trackStartMs_ > 2 * roundMs_) {
        // Skip whole rounds without telling anyone: nobody could follow that many changes.
        trackStartMs_ += (playMs - trackStartMs_) / roundMs_ * roundMs_ - roundMs_;
    }
    bool changed = false;
    while (playMs - trackStartMs_ >= lengthMs(index_)) {
        trackStartMs_ += lengthMs(index_);
        index_ = (index_ + 1) % tracks_.size();
        elapsed_ = 0;
        changed = true;
        listener.trackStarted(*this);
    }
    const int now = static_cast<int>((playMs - trackStartMs_) / 1000);
    if (changed || now != elapsed_) {
        elapsed_ = now;
        listener.secondPassed(*this);
    }
}

}  // namespace velmora::jukebox
