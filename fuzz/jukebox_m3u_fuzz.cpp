// SPDX-License-Identifier: MIT
// The jukebox's playlist reader: the input is an M3U file, read from a scratch folder that holds
// one disc folder with a cover.
//
// A file is either refused with a reason or gives entries that play for at least a second, and
// whose "playing" and "playlist_item" messages fit the link on the longest endpoint name and cut
// back into the fields the service meant.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "common/messages.h"
#include "velmora/field_splitter.h"
#include "velmora/link_protocol.h"
#include "playlist/m3u.h"

using namespace velmora;
namespace fs = std::filesystem;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// A folder of its own, with a disc folder that has a cover; removed at exit.
const fs::path& scratch() {
    static const struct Folder {
        fs::path path =
            fs::temp_directory_path() / ("velmora-m3u-fuzz-" + std::to_string(getpid()));
        Folder() {
            fs::create_directories(path / "Disc");
            std::ofstream(path / "Disc" / "cover.jpg") << "x";
        }
        ~Folder() { fs::remove_all(path); }
    } folder;
    return folder.path;
}

// The message as a board cuts it: after its head (and a field it skips), six fields, the rest.
void checkMessage(const std::string& message, std::size_t head, bool skip,
                  const jukebox::Track& track) {
    const std::string endpoint(link::kMaxEndpointBytes, 'r');
    check(link::encodeMessage(endpoint, message).size() - 1 <= link::kMaxLineBytes);
    link::FieldSplitter fields(std::string_view(message).substr(head));
    if (skip) check(fields.next().has_value());
    check(fields.next() == jukebox::textField(track.album));
    check(fields.next() == jukebox::textField(track.artist));
    check(fields.next() == jukebox::textField(track.title));
    for (int i = 4; i <= 6; ++i) check(fields.next().has_value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path file = scratch() / "list.m3u";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(data), size);
    jukebox::PlaylistFile playlist;
    try {
        playlist = jukebox::loadM3u(file);
    } catch (const jukebox::PlaylistError&) {
        return 0;
    }
    check(!playlist.tracks.empty());
    for (std::size_t i = 0; i < playlist.tracks.size(); ++i) {
        const jukebox::Track& track = playlist.tracks[i];
        check(track.seconds >= 1);
        checkMessage(jukebox::playingMessage(&track, i + 1), 9, false, track);
        checkMessage(jukebox::itemMessage(std::to_string(i + 1), &track, i + 1), 15, true, track);
    }
    return 0;
}
