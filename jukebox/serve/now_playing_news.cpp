// SPDX-License-Identifier: MIT
#include "serve/now_playing_news.h"

#include "common/messages.h"

namespace velmora::jukebox {

void NowPlayingNews::tell(NowPlayingListener* listener, const NowPlaying& source) {
    if (!listener) return;
    const std::size_t position = source.playingPosition();
    const Entry next = source.entryAt(static_cast<std::int64_t>(position) + 1);
    const std::string view = playingMessage(source.playingTrack(), position) +
                             itemMessage("", next.track, next.position);
    if (!told_ || view != lastView_) {
        lastView_ = view;
        listener->trackStarted();
    }
    const std::optional<int> seconds = source.playingSeconds();
    if (!told_ || seconds != lastSeconds_) {
        lastSeconds_ = seconds;
        listener->secondPassed();
    }
    told_ = true;
}

}  // namespace velmora::jukebox
