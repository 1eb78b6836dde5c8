// SPDX-License-Identifier: MIT
// One thread beside the service's own, for the cover work that may block (reading a file that may
// sit on a network share, decoding, writing and trimming the cover folder), so that no board's time
// code waits for it. Jobs wait in lanes (one per thing shown, such as a player's current track): a
// newer job in a lane drops the one still waiting there, which a newer track made stale. Results
// come back on the io_context's thread, and never after the worker is gone.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <asio/io_context.hpp>

#include "velmora/lifetime.h"

namespace velmora::jukebox {

class CoverWorker {
  public:
    // Runs on the worker thread.
    using Work = std::function<std::optional<std::string>()>;
    // Runs on the io_context's thread with the key a job was queued under and what it returned.
    using Done = std::function<void(const std::string& key, std::optional<std::string> result)>;

    CoverWorker(asio::io_context& io, Done done);
    // Jobs still waiting are dropped. A job under way is left to end on its own (a read from a
    // share that hangs must not hold up the service's exit); its result goes nowhere.
    ~CoverWorker();
    CoverWorker(const CoverWorker&) = delete;
    CoverWorker& operator=(const CoverWorker&) = delete;

    // Queues `work` in `lane`; returns the keys of the jobs it dropped, whose `done` never comes.
    std::vector<std::string> submit(const std::string& lane, std::string key, Work work);

  private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared_;
    velmora::Liveness alive_;
};

}  // namespace velmora::jukebox
