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
constexpr std::size_t kLongestKey = 4096;

int base64Value(char ch) {
    if (ch >= 'A' && ch <= 'Z') return ch - 'A';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 26;
    if (ch >= '0' && ch <= '9') return ch - '0' + 52;
    if (ch == '+' || ch == '-') return 62;
    if (ch == '/' || ch == '_') return 63;
    return -1;
}

// Data URLs can be megabytes long; past a bound they are remembered by a hash.
std::string keyOf(const std::string& url) {
    if (url.size() <= kLongestKey) return url;
    return url.substr(0, 64) + "#" + std::to_string(std::hash<std::string>{}(url));
}

}  // namespace

std::optional<std::string> readPictureFile(const std::filesystem::path& path) {
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

ArtCovers::ArtCovers(asio::io_context& io, CoverFolder folder, Ready ready, HttpFetcher::Log log,
                     ReadFile read)
    : io_(io),
      ready_(std::move(ready)),
      log_(std::move(log)),
      read_(std::move(read)),
      cache_(io, std::move(folder), kRetryAfter, [this](const std::string&) { ready_(); }) {}

std::optional<std::string> ArtCovers::pictureFor(const std::string& url, const std::string& lane) {
    if (url.empty()) return "";
    const std::string key = keyOf(url);
    if (const auto sent = cache_.recall(key)) return *sent;
    if (cache_.pending(key) || fetching_.contains(key)) return std::nullopt;
    if (url.starts_with("http://") || url.starts_with("https://")) {
        fetching_.insert(key);
        if (!http_) http_ = std::make_unique<HttpFetcher>(io_, kMaxCoverBytes, kFetchTime, log_);
        http_->get(url, [this, key, lane](std::optional<std::string> bytes) {
            fetching_.erase(key);
            if (bytes) return cache_.store(key, lane, std::move(*bytes));
            cache_.forNone(key);
            ready_();
        });
    } else if (const auto path = pathOfFileUrl(url)) {
        cache_.load(key, lane, [read = read_, path = *path] { return read(path); });
    } else if (url.starts_with("data:")) {
        cache_.load(key, lane, [url] { return decodeDataUrl(url); });
    } else {
        cache_.forNone(key);
        return "";
    }
    return std::nullopt;
}

}  // namespace velmora::jukebox::mpris
