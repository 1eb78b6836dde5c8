// SPDX-License-Identifier: MIT
#include "covers/cover_cache.h"

namespace velmora::jukebox {

namespace {

// Past this many covers, the remembered ones are forgotten all at once and read again as needed.
constexpr std::size_t kRememberedCovers = 1024;

}  // namespace

CoverCache::CoverCache(asio::io_context& io, CoverFolder folder,
                       std::chrono::steady_clock::duration retryFailures, Ready ready)
    : folder_(std::move(folder)),
      retryFailures_(retryFailures),
      ready_(std::move(ready)),
      worker_(io, [this](const std::string& key, std::optional<std::string> sent) {
          pending_.erase(key);
          remember(key, std::move(sent).value_or(""));
          ready_(key);
      }) {}

std::optional<std::string> CoverCache::recall(const std::string& key) {
    const auto known = known_.find(key);
    if (known == known_.end()) return std::nullopt;
    const std::string& sent = known->second.sent;
    if (sent.empty() ? std::chrono::steady_clock::now() - known->second.at < retryFailures_
                     : folder_.holds(sent))
        return sent;
    known_.erase(known);
    return std::nullopt;
}

void CoverCache::load(const std::string& key, const std::string& lane, Read read) {
    if (pending(key)) return;
    // The folder is copied into the job: it holds no state, and the job may outlive this cache.
    for (const std::string& dropped :
         worker_.submit(lane, key, [folder = folder_, read = std::move(read)] {
             const std::optional<std::string> bytes = read();
             return bytes ? folder.store(*bytes) : std::nullopt;
         }))
        pending_.erase(dropped);
    pending_.insert(key);
}

void CoverCache::store(const std::string& key, const std::string& lane, std::string bytes) {
    load(key, lane, [bytes = std::move(bytes)]() mutable -> std::optional<std::string> {
        return std::move(bytes);
    });
}

void CoverCache::remember(const std::string& key, std::string sent) {
    if (known_.size() >= kRememberedCovers && !known_.contains(key)) known_.clear();
    known_[key] = {std::move(sent), std::chrono::steady_clock::now()};
}

}  // namespace velmora::jukebox
