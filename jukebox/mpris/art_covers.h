// SPDX-License-Identifier: MIT
// Covers from the players' mpris:artUrl into the shared cover cache: a file:// picture is copied
// (players delete their temporary files), a data: one decoded, an http(s):// one fetched in the
// background. Each is checked to be a picture a board shows before it is kept.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include <asio/io_context.hpp>

#include "covers/cover_cache.h"
#include "mpris/http_fetcher.h"

namespace velmora::jukebox::mpris {

class ArtCovers {
  public:
    // Told when a cover fetched in the background is in (or known to be none).
    using Ready = std::function<void()>;

    // `log` hears once why no cover comes over HTTP (no libcurl, or too old a one).
    ArtCovers(asio::io_context& io, CoverCache& cache, Ready ready, HttpFetcher::Log log);

    // The path boards are sent for the picture at `url`: at once for a file or data, empty while
    // one over HTTP is on its way (then `ready` follows) and for anything that is no picture.
    std::string pictureFor(const std::string& url);
    // Ends the fetches under way.
    void stop() {
        if (http_) http_->cancel();
    }

  private:
    struct Known {
        std::string sent;                          // empty: no picture there
        std::chrono::steady_clock::time_point at;  // a failure is tried again after a while
    };
    void keep(const std::string& key, std::optional<std::string> bytes);

    asio::io_context& io_;
    CoverCache& cache_;
    Ready ready_;
    HttpFetcher::Log log_;
    std::unique_ptr<HttpFetcher> http_;  // made at the first picture over HTTP: TLS costs memory
    std::map<std::string, Known> known_;
    std::set<std::string> fetching_;
};

// The bytes of a data: URL (base64 or percent-encoded); nothing when it is not one.
std::optional<std::string> decodeDataUrl(std::string_view url);
// The local path of a file:// URL; nothing for another host or scheme.
std::optional<std::filesystem::path> pathOfFileUrl(std::string_view url);

}  // namespace velmora::jukebox::mpris
