// SPDX-License-Identifier: MIT
// Covers from the players' mpris:artUrl into the cover cache: a file:// picture is copied (players
// delete their temporary files), a data: one decoded, both on the cover worker; an http(s):// one
// is fetched in the background. Each is checked to be a picture a board shows before it is kept.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include <asio/io_context.hpp>

#include "covers/cover_cache.h"
#include "mpris/http_fetcher.h"

namespace velmora::jukebox::mpris {

// A picture file a board shows, told by its first bytes before the rest is read; nothing for
// anything else, and for a file larger than a cover may be.
std::optional<std::string> readPictureFile(const std::filesystem::path& path);

class ArtCovers {
  public:
    // Told when a cover read or fetched in the background is in (or known to be none).
    using Ready = std::function<void()>;
    // Reads a cover's file; runs on the cover worker.
    using ReadFile = std::function<std::optional<std::string>(const std::filesystem::path&)>;

    // `log` hears once why no cover comes over HTTP (no libcurl, or too old a one).
    ArtCovers(asio::io_context& io, CoverFolder folder, Ready ready, HttpFetcher::Log log,
              ReadFile read = readPictureFile);

    // The path boards are sent for the picture at `url`: at once when it is in the cache, empty
    // for anything that is no picture, nothing yet while it is read or fetched (then `ready`
    // follows). `lane` names what the picture is for (a player's current or next track): a newer
    // picture for it drops one still waiting to be read.
    std::optional<std::string> pictureFor(const std::string& url, const std::string& lane);
    // Ends the fetches under way.
    void stop() {
        if (http_) http_->cancel();
    }

  private:
    asio::io_context& io_;
    Ready ready_;
    HttpFetcher::Log log_;
    ReadFile read_;
    CoverCache cache_;
    std::unique_ptr<HttpFetcher> http_;  // made at the first picture over HTTP: TLS costs memory
    std::set<std::string> fetching_;
};

// The bytes of a data: URL (base64 or percent-encoded); nothing when it is not one.
std::optional<std::string> decodeDataUrl(std::string_view url);
// The local path of a file:// URL; nothing for another host or scheme.
std::optional<std::filesystem::path> pathOfFileUrl(std::string_view url);

}  // namespace velmora::jukebox::mpris
