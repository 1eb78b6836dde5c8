// SPDX-License-Identifier: MIT
#include "playlist/m3u.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <system_error>

#include "common/encoding.h"
#include "common/messages.h"
#include "velmora/link_protocol.h"
#include "velmora/whole_number.h"

namespace velmora::jukebox {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kExtInf = "#EXTINF:";
constexpr std::string_view kExtAlb = "#EXTALB:";
constexpr double kMaxSeconds = 1e7;  // a little under four months

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string lineError(std::size_t number, std::string_view what) {
    return "line " + std::to_string(number) + ": " + std::string(what);
}

struct Info {
    int seconds = kDefaultTrackSeconds;
    bool lengthKnown = false;
    std::string artist;
    std::string title;
};

// "#EXTINF:<seconds>[ attributes],<Artist> - <Title>"; -1 or 0 means the length is unknown.
Info parseExtInf(std::string_view rest, std::size_t lineNumber) {
    const auto comma = rest.find(',');
    if (comma == std::string_view::npos)
        throw PlaylistError(lineError(lineNumber, "#EXTINF has no comma before the title"));
    std::string_view length = trim(rest.substr(0, comma));
    length = length.substr(0, length.find_first_of(" \t"));

    const auto seconds = velmora::decimalNumber(length);
    if (!seconds || !std::isfinite(*seconds) || *seconds > kMaxSeconds)
        throw PlaylistError(
            lineError(lineNumber, "#EXTINF length '" + std::string(length) + "' is not a number"));

    Info info;
    if (*seconds > 0) {
        info.seconds = std::max(1, static_cast<int>(std::lround(*seconds)));
        info.lengthKnown = true;
    }
    const std::string_view name = trim(rest.substr(comma + 1));
    const auto dash = name.find(" - ");
    if (dash == std::string_view::npos) {
        info.title = name;
    } else {
        info.artist = trim(name.substr(0, dash));
        info.title = trim(name.substr(dash + 3));
    }
    return info;
}

std::string lowerAscii(std::string text) {
    for (char& ch : text)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return text;
}

// The cover in a folder: folder.jpg, else cover.jpg, in any letter case. Remembered per folder.
class CoverFinder {
  public:
    std::string find(const fs::path& folder) {
        const auto known = covers_.find(folder);
        if (known != covers_.end()) return known->second;
        return covers_[folder] = search(folder);
    }

  private:
    static std::string search(const fs::path& folder) {
        std::error_code error;
        fs::path folderJpg, coverJpg;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            if (!it->is_regular_file(error)) continue;
            const std::string name = lowerAscii(pathToUtf8(it->path().filename()));
            if (name == "folder.jpg" && folderJpg.empty()) folderJpg = it->path();
            if (name == "cover.jpg" && coverJpg.empty()) coverJpg = it->path();
        }
        const fs::path& cover = folderJpg.empty() ? coverJpg : folderJpg;
        return cover.empty() ? std::string() : pathToUtf8(cover);
    }

    std::map<fs::path, std::string> covers_;
};

bool isUrl(std::string_view entry) {
    return entry.find("://") != std::string_view::npos;
}

}  // namespace

PlaylistFile parseM3u(std::string_view text, const fs::path& folder) {
    std::string converted;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (!link::isValidUtf8(text)) {
        converted = fromWindows1252(text);
        text = converted;
    }

    PlaylistFile result;
    CoverFinder covers;
    std::string album;
    std::optional<Info> info;
    std::size_t infoLine = 0;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        const std::string_view line = trim(text.substr(0, newline));
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        ++lineNumber;

        if (line.empty()) continue;
        if (line.starts_with(kExtInf)) {
            info = parseExtInf(line.substr(kExtInf.size()), lineNumber);
            infoLine = lineNumber;
            continue;
        }
        if (line.starts_with(kExtAlb)) {
            album = trim(line.substr(kExtAlb.size()));
            continue;
        }
        if (line.starts_with('#')) continue;  // #EXTM3U and comments

        Track track;
        track.album = album;
        if (info) {
            track.artist = std::move(info->artist);
            track.title = std::move(info->title);
            track.seconds = info->seconds;
            track.lengthKnown = info->lengthKnown;
            info.reset();
        } else {
            track.seconds = kDefaultTrackSeconds;
            track.lengthKnown = false;
        }
        if (!isUrl(line)) {
            const fs::path file = (folder / pathFromUtf8(line)).lexically_normal();
            if (track.title.empty()) track.title = pathToUtf8(file.stem());
            track.picture = covers.find(file.parent_path());
            if (!track.picture.empty() && pathField(track.picture).empty()) {
                result.warnings.push_back(lineError(
                    lineNumber, "the board cannot be sent cover '" + track.picture + "'"));
                track.picture.clear();
            }
        } else if (track.title.empty()) {
            track.title = line;
        }
        result.tracks.push_back(std::move(track));
    }
    if (info) throw PlaylistError(lineError(infoLine, "#EXTINF is not followed by an entry"));
    return result;
}

PlaylistFile loadM3u(const fs::path& file) {
    const std::string name = "playlist '" + pathToUtf8(file) + "'";
    std::error_code error;
    const auto status = fs::status(file, error);
    if (!fs::exists(status)) throw PlaylistError(name + " does not exist");
    if (!fs::is_regular_file(status)) throw PlaylistError(name + " is not a file");
    const auto size = fs::file_size(file, error);
    if (error) throw PlaylistError(name + ": " + error.message());
    if (size > kMaxPlaylistBytes) throw PlaylistError(name + " is too large for a playlist");

    std::ifstream in(file, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in && !in.eof()) throw PlaylistError(name + " cannot be read");
    if (text.find('\0') != std::string::npos) throw PlaylistError(name + " is not a text playlist");

    PlaylistFile result;
    try {
        result = parseM3u(text, fs::absolute(file, error).parent_path());
    } catch (const PlaylistError& bad) {
        throw PlaylistError(name + ", " + bad.what());
    }
    if (result.tracks.empty()) throw PlaylistError(name + " has no entries");
    return result;
}

}  // namespace velmora::jukebox
