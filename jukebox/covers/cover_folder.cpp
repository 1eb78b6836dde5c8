// SPDX-License-Identifier: MIT
#include "covers/cover_folder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "common/bmp.h"
#include "common/encoding.h"
#include "velmora/raster_kinds.h"

namespace velmora::jukebox {

namespace fs = std::filesystem;

namespace {

std::uint64_t fnv1a(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char ch : bytes) {
        hash ^= static_cast<unsigned char>(ch);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

// Only files named as nameFor() names them are ours to remove, whatever else shares the folder.
bool isCoverName(const std::string& name) {
    if (name.size() != 20 || name[16] != '.') return false;
    const std::string_view ext = std::string_view(name).substr(16);
    if (std::none_of(std::begin(velmora::kRasterKinds), std::end(velmora::kRasterKinds),
                     [&](const velmora::RasterKind& kind) { return kind.extension == ext; }))
        return false;
    return std::all_of(name.begin(), name.begin() + 16, [](char ch) {
        return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f');
    });
}

fs::path environmentPath(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? pathFromUtf8(value) : fs::path();
}

}  // namespace

fs::path serviceCacheFolder() {
#ifdef _WIN32
    fs::path base = environmentPath("LOCALAPPDATA");
#else
    // A system unit's CacheDirectory= is the service's own folder already (the first one when it
    // names several, ':' apart).
    if (const char* given = std::getenv("CACHE_DIRECTORY")) {
        const std::string_view first =
            std::string_view(given).substr(0, std::string_view(given).find(':'));
        if (!first.empty() && first.front() == '/') return pathFromUtf8(first);
    }
    fs::path base = environmentPath("XDG_CACHE_HOME");
    if (base.empty() && !environmentPath("HOME").empty()) base = environmentPath("HOME") / ".cache";
#endif
    if (base.empty()) base = fs::temp_directory_path();
    return base / "velmora-jukebox";
}

CoverFolder::CoverFolder(fs::path folder, std::string pathPrefix, std::uintmax_t maxBytes)
    : folder_(std::move(folder)), prefix_(std::move(pathPrefix)), maxBytes_(maxBytes) {}

std::optional<std::string> CoverFolder::nameFor(std::string_view bytes) {
    const velmora::RasterKind* kind = velmora::rasterKind(bytes);
    if (!kind) return std::nullopt;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv1a(bytes)));
    return std::string(hex) + std::string(kind->extension);
}

std::optional<std::string> CoverFolder::store(std::string_view bytes) const {
    if (bytes.size() > kMaxCoverBytes || bytes.size() > maxBytes_) return std::nullopt;
    const auto name = nameFor(bytes);
    if (!name) return std::nullopt;
    const fs::path file = folder_ / *name;
    std::error_code error;
    if (fs::file_size(file, error) != bytes.size() || error) {
        fs::create_directories(folder_, error);
        try {
            writeFileAtomically(file, bytes);
        } catch (const std::exception&) {
            return std::nullopt;
        }
        trim(file);
    }
    return prefix_.empty() ? pathToUtf8(file) : prefix_ + *name;
}

bool CoverFolder::holds(std::string_view sent) const {
    if (!prefix_.empty() && !sent.starts_with(prefix_)) return false;
    const fs::path file =
        prefix_.empty() ? pathFromUtf8(sent) : folder_ / pathFromUtf8(sent.substr(prefix_.size()));
    std::error_code gone;
    return fs::exists(file, gone);
}

void CoverFolder::trim(const fs::path& keep) const {
    struct Entry {
        fs::file_time_type time;
        std::uintmax_t size;
        fs::path path;
    };
    std::vector<Entry> covers;
    std::uintmax_t total = 0;
    std::error_code error;
    for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        if (!it->is_regular_file(ignored) || !isCoverName(pathToUtf8(it->path().filename())))
            continue;
        Entry entry{it->last_write_time(ignored), it->file_size(ignored), it->path()};
        if (ignored) continue;
        total += entry.size;
        covers.push_back(std::move(entry));
    }
    std::sort(covers.begin(), covers.end(),
              [](const Entry& a, const Entry& b) { return a.time < b.time; });
    for (const Entry& cover : covers) {
        if (total <= maxBytes_) break;
        if (cover.path == keep) continue;
        std::error_code ignored;
        if (fs::remove(cover.path, ignored)) total -= cover.size;
    }
}

}  // namespace velmora::jukebox
