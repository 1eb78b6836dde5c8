// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "velmora/link_protocol.h"
#include "mpris/art_covers.h"
#include "mpris/metadata.h"

namespace velmora::jukebox::mpris {
namespace {

using Array = Value::Array;

struct Case {
    const char* what;
    Dict metadata;
    std::string artist, title, album;
    int seconds;  // 0: no total time
    bool titleFromFile = false;
};

TEST(MprisMetadata, PlayersMapsAndTheirQuirks) {
    const std::string ogg = "file:///tmp/mp/a.ogg";
    const Case cases[] = {
        // Read from the bus with busctl while the players played generated files.
        {"mpv-mpris 0.7.1, tagged Ogg",
         {{"xesam:album", "Long Distance"},
          {"xesam:artist", Array{"Marlow & Finch"}},
          {"mpris:trackid", "/1"},
          {"xesam:title", "Copper Wire"},
          {"xesam:url", ogg},
          {"mpris:length", std::int64_t(30000000)},
          {"mpris:artUrl", "file:///tmp/mp/cover.jpg"}},
         "Marlow & Finch",
         "Copper Wire",
         "Long Distance",
         30},
        {"mpv-mpris 0.7.1, untagged FLAC: the file name as title",
         {{"xesam:url", "file:///tmp/mp/untagged%20tone.flac"},
          {"mpris:trackid", "/0"},
          {"xesam:title", "untagged tone.flac"},
          {"mpris:length", std::int64_t(30000000)}},
         "",
         "untagged tone.flac",
         "",
         30,
         true},
        {"VLC 3.0, with its own keys of other types",
         {{"mpris:trackid", "/org/videolan/vlc/playlist/4"},
          {"xesam:url", ogg},
          {"xesam:title", "Paper Boats"},
          {"xesam:artist", Array{"The Lantern Choir"}},
          {"xesam:album", "Harbour Lights"},
          {"vlc:time", std::uint64_t(30)},
          {"mpris:length", std::int64_t(30000000)},
          {"vlc:length", std::int64_t(30000)},
          {"vlc:publisher", 5}},
         "The Lantern Choir",
         "Paper Boats",
         "Harbour Lights",
         30},
        // The quirks players are known for.
        {"artist as a plain string",
         {{"xesam:artist", "Solo"}, {"xesam:title", "T"}},
         "Solo",
         "T",
         "",
         0},
        {"several artists, an empty one skipped",
         {{"xesam:artist", Array{"A", "", "B"}}, {"xesam:title", "T"}},
         "A, B",
         "T",
         "",
         0},
        {"no artist: the album's",
         {{"xesam:artist", Array{}}, {"xesam:albumArtist", Array{"Various"}}, {"xesam:title", "T"}},
         "Various",
         "T",
         "",
         0},
        {"no title: the decoded file name",
         {{"xesam:url", "file:///m/01%20Intro.ogg"}},
         "",
         "01 Intro.ogg",
         "",
         0,
         true},
        {"a title that is the file name without its extension",
         {{"xesam:url", "file:///m/01%20Intro.ogg"}, {"xesam:title", "01 Intro"}},
         "",
         "01 Intro",
         "",
         0,
         true},
        {"a stream: the URL's last segment, no query",
         {{"xesam:url", "https://radio.example/live.mp3?token=1"}},
         "",
         "live.mp3",
         "",
         0,
         true},
        {"length as int32", {{"mpris:length", 240000000}}, "", "", "", 240, true},
        {"length as uint64", {{"mpris:length", std::uint64_t(181400000)}}, "", "", "", 181, true},
        {"length as a whole double", {{"mpris:length", 1.8e8}}, "", "", "", 180, true},
        {"length negative", {{"mpris:length", std::int64_t(-1)}}, "", "", "", 0, true},
        {"length 0", {{"mpris:length", std::int64_t(0)}}, "", "", "", 0, true},
        {"length absurd",
         {{"mpris:length", std::numeric_limits<std::int64_t>::max()}},
         "",
         "",
         "",
         0,
         true},
        {"length NaN",
         {{"mpris:length", std::numeric_limits<double>::quiet_NaN()}},
         "",
         "",
         "",
         0,
         true},
        {"length as a string", {{"mpris:length", "180000000"}}, "", "", "", 0, true},
        {"invalid UTF-8 replaced",
         {{"xesam:title", "Caf\xE9 \xFF"}},
         "",
         "Caf\uFFFD \uFFFD",
         "",
         0},
        {"title as an array", {{"xesam:title", Array{"Part", "Two"}}}, "", "Part, Two", "", 0},
    };
    for (const Case& c : cases) {
        const PlayerTrack got = trackFromMetadata(c.metadata);
        EXPECT_EQ(got.track.artist, c.artist) << c.what;
        EXPECT_EQ(got.track.title, c.title) << c.what;
        EXPECT_EQ(got.track.album, c.album) << c.what;
        EXPECT_EQ(got.track.lengthKnown, c.seconds > 0) << c.what;
        if (c.seconds > 0) {
            EXPECT_EQ(got.track.seconds, c.seconds) << c.what;
        }
        EXPECT_GE(got.track.seconds, 1) << c.what;
        EXPECT_EQ(got.titleFromFile, c.titleFromFile) << c.what;
    }
}

TEST(MprisMetadata, AMegabyteTitleIsCutToValidText) {
    std::string title;
    while (title.size() < 1024 * 1024) title += "Ærø ";
    const PlayerTrack got = trackFromMetadata({{"xesam:title", title}, {"xesam:artist", title}});
    EXPECT_LE(got.track.title.size(), 1024u);
    EXPECT_GT(got.track.title.size(), 1000u);
    EXPECT_TRUE(link::isValidUtf8(got.track.title));
    EXPECT_LE(got.track.artist.size(), 1024u);
}

TEST(MprisMetadata, ArtUrls) {
    EXPECT_EQ(decodeDataUrl("data:image/png;base64,iVBORw0KGgo="), "\x89PNG\r\n\x1A\n");
    EXPECT_EQ(decodeDataUrl("data:image/png;base64,iVBO\nRw0KGgo"), "\x89PNG\r\n\x1A\n");
    EXPECT_EQ(decodeDataUrl("data:,GIF89a%00"), std::string("GIF89a\0", 7));
    EXPECT_EQ(decodeDataUrl("data:image/png;base64,iV*O"), std::nullopt);
    EXPECT_EQ(decodeDataUrl("file:///x.png"), std::nullopt);
    EXPECT_EQ(pathOfFileUrl("file:///tmp/a%20b.jpg"), std::filesystem::path("/tmp/a b.jpg"));
    EXPECT_EQ(pathOfFileUrl("file://localhost/tmp/c.jpg"), std::filesystem::path("/tmp/c.jpg"));
    EXPECT_EQ(pathOfFileUrl("file://otherhost/tmp/c.jpg"), std::nullopt);
    EXPECT_EQ(pathOfFileUrl("https://example.org/c.jpg"), std::nullopt);
}

}  // namespace
}  // namespace velmora::jukebox::mpris
