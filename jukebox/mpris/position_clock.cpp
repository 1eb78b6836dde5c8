// SPDX-License-Identifier: MIT
#include "mpris/position_clock.h"

#include <algorithm>

namespace velmora::jukebox::mpris {

namespace {

using namespace std::chrono_literals;

// A reading of 0 after this much play is not the truth but a player that keeps no Position.
constexpr auto kZeroIsFrozenAfter = 1500ms;
// Further than any track lasts; keeps the sums below from overflowing on a player's nonsense.
constexpr PositionClock::Micros kMaxPosition = std::chrono::hours(24 * 365);

}  // namespace

void PositionClock::rebase(Micros position, TimePoint now) {
    base_ = std::clamp(position, Micros(0), kMaxPosition);
    baseAt_ = now;
}

void PositionClock::newTrack(TimePoint now) {
    rebase(Micros(0), now);
}

void PositionClock::setStatus(PlaybackStatus status, TimePoint now) {
    rebase(at(now), now);
    status_ = status;
    if (status == PlaybackStatus::Stopped) rebase(Micros(0), now);
}

void PositionClock::reading(Micros position, TimePoint now) {
    if (position <= Micros(0)) {
        if (frozenZero_) return;
        if (at(now) >= kZeroIsFrozenAfter) {
            frozenZero_ = true;
            return;
        }
    } else {
        frozenZero_ = false;
    }
    rebase(position, now);
}

void PositionClock::seeked(Micros position, TimePoint now) {
    rebase(position, now);
}

PositionClock::Micros PositionClock::at(TimePoint now) const {
    if (status_ != PlaybackStatus::Playing || now < baseAt_) return base_;
    return base_ + std::chrono::duration_cast<Micros>(now - baseAt_);
}

int PositionClock::seconds(TimePoint now) const {
    return static_cast<int>(std::min<long long>(at(now).count() / 1000000, 1LL << 30));
}

}  // namespace velmora::jukebox::mpris
