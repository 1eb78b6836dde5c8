// SPDX-License-Identifier: MIT
// The covers a follower hands to boards: what each one was sent as is remembered by a key of the
// follower's (a song's file, a player's art URL), so a cover is read and written once. A cover
// comes in on the cover worker, never on the service's thread; a follower asks again after
// `ready`.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include <asio/io_context.hpp>

#include "covers/cover_folder.h"
#include "covers/cover_worker.h"

namespace velmora::jukebox {

class CoverCache {
  public:
    // Told on the io_context's thread that the cover asked for as `key` is in, or known to be none.
    using Ready = std::function<void(const std::string& key)>;
    // Reads or decodes a picture; runs on the cover worker.
    using Read = std::function<std::optional<std::string>()>;

    // A key known to have no cover is asked for again after `retryFailures` (a server not up yet,
    // a file not yet written); steady_clock::duration::max() for never.
    CoverCache(asio::io_context& io, CoverFolder folder,
               std::chrono::steady_clock::duration retryFailures, Ready ready);

    // What boards are sent for the cover known as `key`: its path, or "" for none. Nothing when it
    // is not known: never asked for, on its way, removed from the folder by the bound since (then
    // it is read again), or a failure old enough to be tried again.
    std::optional<std::string> recall(const std::string& key);
    // Whether the cover known as `key` is on its way.
    bool pending(const std::string& key) const { return pending_.contains(key); }

    // Reads the cover on the worker, writes it into the folder and remembers it; `ready` follows.
    // What still waits in the same lane (the cover of a track since replaced) is dropped; nothing
    // happens for a key already on its way.
    void load(const std::string& key, const std::string& lane, Read read);
    // The same for bytes already in hand: only the writing is left for the worker.
    void store(const std::string& key, const std::string& lane, std::string bytes);
    // Remembers that there is no cover for `key`.
    void forNone(const std::string& key) { remember(key, ""); }

  private:
    struct Known {
        std::string sent;                          // empty: no picture there
        std::chrono::steady_clock::time_point at;  // when a failure is tried again
    };
    void remember(const std::string& key, std::string sent);

    CoverFolder folder_;
    std::chrono::steady_clock::duration retryFailures_;
    Ready ready_;
    std::map<std::string, Known> known_;
    std::set<std::string> pending_;
    CoverWorker worker_;  // last: it ends before what its results reach
};

}  // namespace velmora::jukebox
