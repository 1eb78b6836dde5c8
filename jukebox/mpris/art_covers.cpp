// SPDX-License-Identifier: MIT
#include "mpris/art_covers.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "common/encoding.h"
#include "mpris/metadata.h"
#include "velmora/raster_kinds.h"

namespace velmora::jukebox::mpris {

namespace {

using namespace std::chrono_literals;

constexpr auto kFetchTime = 15s;
constexpr auto kRetryAfter = 30s;
constexpr std::size_t kRememberedCovers = 1024;
constexpr std::size_t kLongestKey = 4096;

int base64Value(char ch) {
    if (ch >= 'A' && ch <= 'Z') return ch - 'A';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 26;
    if (ch >= '0' && ch <= '9') return ch - '0' + 52;
    if (ch == '+' || ch == '-') return 62;
    if (ch == '/' || ch == '_') return 63;
    return -1;
}

// A picture file a board shows, told by its first bytes before the rest is read.
std::optional<std::string> readPicture(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > kMaxCoverBytes) return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    std::string bytes(size, '\0');
    const auto head = static_cast<std::streamsize>(std::min<std::uintmax_t>(size, 16));
    if (!file.read(bytes.data(), head) ||
        !velmora::rasterKind(std::string_view(bytes.data(), std::size_t(head))) ||
        !file.read(bytes.data() + head, static_cast<std::streamsize>(size) - head))
        return std::nullopt;
    return bytes;
}

// Data URLs can be megabytes long; past a bound they are remembered by a hash.
std::string keyOf(const std::string& url) {
    if (url.size() <= kLongestKey) return url;
    return url.substr(0, 64) + "#" + std::to_string(std::hash<std::string>{}(url));
}

}  // namespace

std::optional<std::string> decodeDataUrl(std::string_view url) {
    if (!url.starts_with("data:")) return std::nullopt;
    const auto comma = url.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    const std::string_view header = url.substr(5, comma - 5);
    const std::string_view body = url.substr(comma + 1);
    if (!header.ends_with(";base64")) return percentDecode(body);
    std::string bytes;
    bytes.reserve(body.size() / 4 * 3);
    unsigned bits = 0;
    int count = 0;
    for (const char ch : body) {
        if (ch == '=') break;
        const int value = base64Value(ch);
        if (value < 0) {
            if (ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t') continue;
            return std::nullopt;
        }
        bits = (bits << 6) | unsigned(value);
        if (++count == 4) {
            bytes += char((bits >> 16) & 0xFF);
            bytes += char((bits >> 8) & 0xFF);
            bytes += char(bits & 0xFF);
            bits = 0;
            count = 0;
        }
    }
    if (count == 3) {
        bytes += char((bits >> 10) & 0xFF);
        bytes += char((bits >> 2) & 0xFF);
    } else if (count == 2) {
        bytes += char((bits >> 4) & 0xFF);
    }
    return bytes;
}

std::optional<std::filesystem::path> pathOfFileUrl(std::string_view url) {
    if (!url.starts_with("file://")) return std::nullopt;
    url.remove_prefix(7);
    if (url.starts_with("localhost/")) url.remove_prefix(9);
    if (!url.starts_with('/')) return std::nullopt;
    return pathFromUtf8(percentDecode(url));
}

ArtCovers::ArtCovers(asio::io_context& io, CoverCache& cache, Ready ready, HttpFetcher::Log log)
    : io_(io), cache_(cache), ready_(std::move(ready)), log_(std::move(log)) {}

std::string ArtCovers::pictureFor(const std::string& url) {
    if (url.empty()) return {};
    const std::string key = keyOf(url);
    if (const auto known = known_.find(key); known != known_.end()) {
        // The cache may have made room since: then the picture is read again. A server that was
        // not up yet, a file not yet written, may have it a while later.
        const bool failed = known->second.sent.empty();
        if (failed ? std::chrono::steady_clock::now() - known->second.at < kRetryAfter
                   : cache_.holds(known->second.sent))
            return known->second.sent;
        known_.erase(known);
    }
    if (fetching_.contains(key)) return {};
    if (url.starts_with("http://") || url.starts_with("https://")) {
        fetching_.insert(key);
        if (!http_) http_ = std::make_unique<HttpFetcher>(io_, kMaxCoverBytes, kFetchTime, log_);
        http_->get(url, [this, key](std::optional<std::string> bytes) {
            fetching_.erase(key);
            keep(key, std::move(bytes));
            ready_();
        });
        return {};
    }
    std::optional<std::string> bytes;
    if (const auto path = pathOfFileUrl(url))
        bytes = readPicture(*path);
    else
        bytes = decodeDataUrl(url);
    keep(key, std::move(bytes));
    return known_[key].sent;
}

void ArtCovers::keep(const std::string& key, std::optional<std::string> bytes) {
    if (known_.size() >= kRememberedCovers) known_.clear();
    Known& known = known_[key];
    known.at = std::chrono::steady_clock::now();
    // The cache keeps only what a board shows, told by its signature.
    known.sent = bytes ? cache_.store(*bytes).value_or("") : "";
}

}  // namespace velmora::jukebox::mpris
