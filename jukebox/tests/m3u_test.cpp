// SPDX-License-Identifier: MIT
#include "playlist/m3u.h"

#include <gtest/gtest.h>

#include "common/encoding.h"
#include "error_text.h"
#include "temp_folder.h"

namespace velmora::jukebox {
namespace {

using testing::errorText;
using testing::TempFolder;

TEST(M3u, ReadsLengthNamesAlbumAndCovers) {
    TempFolder disc;
    disc.write("Night Ferry/folder.jpg", "jpeg");
    disc.write("Night Ferry/cover.jpg", "jpeg");  // folder.jpg wins
    disc.write("Long Distance/Cover.JPG", "jpeg");
    const std::string text =
        "\xEF\xBB\xBF#EXTM3U\r\n"
        "#EXTALB:Night Ferry\r\n"
        "#EXTINF:221,The Lantern Choir - Paper Boats\r\n"
        "Night Ferry/01 Paper Boats.flac\r\n"
        "\r\n"
        "# a comment\n"
        "#EXTINF:-1,Untitled jam\n"
        "Night Ferry/02.flac\n"
        "#EXTALB: Long Distance \n"
        "#EXTINF:251.6 tvg-id=\"x\",Marlow & Finch - Copper - Wire\n"
        "Long Distance/../Long Distance/01.ogg\n"
        "Loose Tracks/Morning Song.mp3\n"
        "http://radio.example/stream\n";
    const PlaylistFile file = parseM3u(text, disc.path());
    ASSERT_EQ(file.tracks.size(), 5u);
    EXPECT_TRUE(file.warnings.empty());
    const std::string nightFerryCover = pathToUtf8(disc.path() / "Night Ferry" / "folder.jpg");
    const std::string longDistanceCover = pathToUtf8(disc.path() / "Long Distance" / "Cover.JPG");

    struct Expected {
        const char* album;
        const char* artist;
        const char* title;
        int seconds;
        bool known;
        std::string picture;
    };
    const Expected expected[] = {
        {"Night Ferry", "The Lantern Choir", "Paper Boats", 221, true, nightFerryCover},
        {"Night Ferry", "", "Untitled jam", kDefaultTrackSeconds, false, nightFerryCover},
        {"Long Distance", "Marlow & Finch", "Copper - Wire", 252, true, longDistanceCover},
        {"Long Distance", "", "Morning Song", kDefaultTrackSeconds, false, ""},
        {"Long Distance", "", "http://radio.example/stream", kDefaultTrackSeconds, false, ""},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const Track& track = file.tracks[i];
        EXPECT_EQ(track.album, expected[i].album) << i;
        EXPECT_EQ(track.artist, expected[i].artist) << i;
        EXPECT_EQ(track.title, expected[i].title) << i;
        EXPECT_EQ(track.seconds, expected[i].seconds) << i;
        EXPECT_EQ(track.lengthKnown, expected[i].known) << i;
        EXPECT_EQ(track.picture, expected[i].picture) << i;
    }
}

TEST(M3u, ReadsWindowsCodePageFiles) {
    const PlaylistFile file = parseM3u("#EXTINF:60,Caf\xE9 Noir - D\xE9j\xE0 vu\nx.mp3\n", ".");
    ASSERT_EQ(file.tracks.size(), 1u);
    EXPECT_EQ(file.tracks[0].artist, "Caf\u00e9 Noir");
    EXPECT_EQ(file.tracks[0].title, "D\u00e9j\u00e0 vu");
}

TEST(M3u, CoverTheBoardCouldNotLoadIsLeftOutWithAWarning) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows allows no quotation mark in a file name";
#endif
    TempFolder disc;
    disc.write("odd\",\"name/folder.jpg", "jpeg");
    const PlaylistFile file = parseM3u("odd\",\"name/a.mp3\n", disc.path());
    ASSERT_EQ(file.tracks.size(), 1u);
    EXPECT_EQ(file.tracks[0].picture, "");
    ASSERT_EQ(file.warnings.size(), 1u);
    EXPECT_NE(file.warnings[0].find("line 1"), std::string::npos) << file.warnings[0];
}

TEST(M3u, MalformedLinesNameTheLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"#EXTM3U\n#EXTINF:120 no comma\na.mp3\n", "line 2: #EXTINF has no comma"},
        {"#EXTINF:abc,A - B\na.mp3\n", "line 1: #EXTINF length 'abc' is not a number"},
        {"#EXTINF:12x,A - B\na.mp3\n", "line 1: #EXTINF length '12x'"},
        {"#EXTINF:1e99,A - B\na.mp3\n", "line 1: #EXTINF length"},
        {"a.mp3\n\n#EXTINF:60,A - B\n", "line 3: #EXTINF is not followed by an entry"},
    };
    for (const auto& [text, message] : cases) {
        // Clang 14 cannot capture a structured binding.
        const std::string error = errorText<PlaylistError>([&text = text] { parseM3u(text, "."); });
        EXPECT_NE(error.find(message), std::string::npos) << text << ": " << error;
    }
}

TEST(M3u, FilesThatAreNotPlaylistsAreRefusedClearly) {
    TempFolder folder;
    folder.write("empty.m3u", "");
    folder.write("comments.m3u", "#EXTM3U\n# nothing here\n");
    folder.write("binary.m3u", std::string("ID3\0\0\x01", 6));
    folder.write("bad.m3u", "#EXTINF:x,A\na.mp3\n");
    std::filesystem::create_directories(folder.path() / "folder.m3u");
    const std::pair<const char*, const char*> cases[] = {
        {"missing.m3u", "does not exist"},        {"folder.m3u", "is not a file"},
        {"empty.m3u", "has no entries"},          {"comments.m3u", "has no entries"},
        {"binary.m3u", "is not a text playlist"}, {"bad.m3u", "bad.m3u', line 1: #EXTINF"},
    };
    for (const auto& [name, message] : cases) {
        const std::string error =
            errorText<PlaylistError>([&, &name = name] { loadM3u(folder.path() / name); });
        EXPECT_NE(error.find(message), std::string::npos) << name << ": " << error;
    }
}

TEST(M3u, RelativeEntriesAreFoundBesideThePlaylist) {
    TempFolder folder;
    folder.write("discs/a/cover.jpg", "jpeg");
    const auto list = folder.write("lists/mine.m3u", "#EXTINF:10,X - Y\n../discs/a/1.mp3\n");
    const PlaylistFile file = loadM3u(list);
    ASSERT_EQ(file.tracks.size(), 1u);
    EXPECT_EQ(file.tracks[0].picture, pathToUtf8(folder.path() / "discs" / "a" / "cover.jpg"));
}

}  // namespace
}  // namespace velmora::jukebox
