// SPDX-License-Identifier: MIT
// The ordinary screen saver chosen in the options, launched when the jukebox stops answering.
#pragma once

#include <memory>

#include "platform/services.h"

namespace velmora::board {

class FallbackSaver {
  public:
    explicit FallbackSaver(platform::Services& services) : services_(services) {}
    ~FallbackSaver();

    // Launches the saver when the file lookup still yields its stored name; reads the settings
    // afresh each time and never starts a second saver while the first one runs.
    void launch();

  private:
    platform::Services& services_;
    std::unique_ptr<platform::Process> running_;
};

}  // namespace velmora::board
