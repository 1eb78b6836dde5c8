// SPDX-License-Identifier: MIT
// What a source that follows a music server or player tells the boards: after each change it
// looks at what it now plays, and the listener hears only what is new since the last time.
#pragma once

#include <optional>
#include <string>

#include "common/now_playing.h"

namespace velmora::jukebox {

class NowPlayingNews {
  public:
    // A new "playing" when the playing entry, or the one after it, is not what the boards were
    // told (every field as a board reads it); a new "time" when the elapsed seconds moved. The
    // first call tells both.
    void tell(NowPlayingListener* listener, const NowPlaying& source);

  private:
    std::string lastView_;
    std::optional<int> lastSeconds_;
    bool told_ = false;
};

}  // namespace velmora::jukebox
