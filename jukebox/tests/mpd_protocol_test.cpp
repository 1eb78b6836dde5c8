// SPDX-License-Identifier: MIT
#include "mpd/mpd_protocol.h"

#include <gtest/gtest.h>

namespace velmora::jukebox {
namespace {

struct Parsed {
    std::vector<std::string> greetings;
    std::vector<MpdReply> replies;
    bool good = true;
    std::string error;
};

// Feeds the stream whole, or in pieces of `step` bytes.
Parsed parse(std::string_view stream, std::size_t step = 0, MpdLimits limits = {}) {
    MpdReplyParser parser(limits);
    Parsed out;
    if (step == 0) step = stream.size() + 1;
    for (std::size_t at = 0; at < stream.size() && out.good; at += step)
        out.good = parser.feed(
            stream.substr(at, step), [&](std::string_view v) { out.greetings.emplace_back(v); },
            [&](MpdReply& reply) { out.replies.push_back(reply); });
    out.error = parser.error();
    return out;
}

TEST(MpdReplyParser, CutsRepliesTheSameWayWhateverTheReadsAre) {
    const std::string picture = "\xFF\xD8\nOK\nACK [5@0] {x} y\n\x00\xFF";  // looks like lines
    const std::string stream =
        "OK MPD 0.23.5\nstate: play\nsong: 1\nOK\n"
        "ACK [50@0] {albumart} No file exists\n"
        "size: 20\ntype: image/jpeg\nbinary: " +
        std::to_string(picture.size()) + "\n" + picture + "\nOK\n" +
        "Title: Über \"Café\" 東京\nOK\n";
    for (const std::size_t step : {0, 1, 2, 7, 64}) {
        const Parsed parsed = parse(stream, step);
        ASSERT_TRUE(parsed.good) << step << parsed.error;
        EXPECT_EQ(parsed.greetings, std::vector<std::string>{"0.23.5"});
        ASSERT_EQ(parsed.replies.size(), 4u) << step;
        EXPECT_EQ(parsed.replies[0].find("song"), "1");
        EXPECT_FALSE(parsed.replies[1].ok);
        EXPECT_EQ(parsed.replies[1].error, "[50@0] {albumart} No file exists");
        EXPECT_EQ(parsed.replies[2].binary, picture);
        EXPECT_EQ(parsed.replies[2].find("size"), "20");
        EXPECT_EQ(parsed.replies[3].find("Title"), "Über \"Café\" 東京");
    }
}

// A hostile or broken server costs its connection, never unbounded memory or a crash.
TEST(MpdReplyParser, BrokenStreamsAreRefusedWithinTheirBounds) {
    MpdLimits small;
    small.maxLineBytes = 100;
    small.maxReplyBytes = 1000;
    small.maxBinaryBytes = 50;
    const std::string hello = "OK MPD 0.23.5\n";
    const std::pair<std::string, std::string> cases[] = {
        {"HTTP/1.1 200 OK\n", "not an MPD server"},
        {hello + std::string(5000, 'x'), "line longer than 100 bytes"},
        {hello + "key: " + std::string(200, 'v') + "\nOK\n", "line longer than 100 bytes"},
        {hello + "binary: 5\n0123456789\nOK\n", "binary chunk longer than announced"},
        {hello + "binary: 51\n", "binary chunk too large"},
        {hello + "binary: 18446744073709551616\n", "binary size is not a number"},
        {hello + "binary: -1\n", "binary size is not a number"},
        {hello + "binary: 2\nab\nbinary: 2\ncd\nOK\n", "binary chunk too large"},
        {hello + "just garbage\n", "not a reply line"},
        {hello + ": no key\n", "not a reply line"},
        {hello + std::string(20, 'k') + ": " + std::string(70, 'v') + "\n" + std::string(20, 'k') +
             ": " + std::string(70, 'v') + "\n" +
             [] {
                 std::string many;
                 for (int i = 0; i < 12; ++i) many += "key: " + std::string(80, 'v') + "\n";
                 return many;
             }(),
         "reply too large"},
    };
    for (const auto& [stream, why] : cases) {
        for (const std::size_t step : {0, 3}) {
            const Parsed parsed = parse(stream, step, small);
            EXPECT_FALSE(parsed.good) << stream.substr(0, 40);
            EXPECT_EQ(parsed.error, why) << stream.substr(0, 40);
            EXPECT_TRUE(parsed.replies.empty());
        }
    }
}

TEST(MpdSongs, TagsFallBackAsMpdClientsDo) {
    MpdReply reply;
    reply.pairs = {
        {"file", "Aero/01.flac"},
        {"Artist", "Sigur Ærøskøbing"},
        {"Artist", "Guest"},
        {"Title", "Über \"Café\""},
        {"Album", "Ærø"},
        {"duration", "221.499"},
        {"Time", "999"},
        {"Pos", "0"},
        {"file", "loose/untagged.flac"},
        {"AlbumArtist", "Various"},
        {"Time", "61"},
        {"Pos", "1"},
        {"file", "http://radio.example/stream"},
        {"Name", "Night Radio"},
        {"Pos", "2"},
        {"file", "x/"},
        {"duration", "nan"},
    };
    const std::vector<MpdSong> songs = parseSongs(reply);
    ASSERT_EQ(songs.size(), 4u);
    const std::tuple<std::string, std::string, std::string, int, bool, std::optional<std::size_t>>
        expected[] = {
            {"Ærø", "Sigur Ærøskøbing", "Über \"Café\"", 221, true, 0},
            {"", "Various", "untagged.flac", 61, true, 1},
            {"", "", "Night Radio", 1, false, 2},
            {"", "", "x/", 1, false, std::nullopt},
        };
    for (std::size_t i = 0; i < songs.size(); ++i) {
        const auto& [album, artist, title, seconds, known, position] = expected[i];
        EXPECT_EQ(songs[i].track.album, album) << i;
        EXPECT_EQ(songs[i].track.artist, artist) << i;
        EXPECT_EQ(songs[i].track.title, title) << i;
        EXPECT_EQ(songs[i].track.seconds, seconds) << i;
        EXPECT_EQ(songs[i].track.lengthKnown, known) << i;
        EXPECT_EQ(songs[i].position, position) << i;
    }
}

TEST(MpdStatus, ReadsStateAndPositionsAndDropsImpossibleOnes) {
    MpdReply reply;
    reply.pairs = {{"state", "pause"},    {"song", "3"},     {"nextsong", "7"},
                   {"elapsed", "12.750"}, {"playlist", "9"}, {"playlistlength", "5"}};
    const MpdStatus status = parseStatus(reply);
    EXPECT_EQ(status.state, MpdState::Pause);
    EXPECT_EQ(status.song, 3u);
    EXPECT_EQ(status.nextSong, std::nullopt);  // past the queue's end
    EXPECT_DOUBLE_EQ(status.elapsed, 12.75);
    EXPECT_EQ(status.queueVersion, "9");
    reply.pairs = {{"state", "weird"}, {"elapsed", "-4"}, {"song", "x"}};
    EXPECT_EQ(parseStatus(reply).state, MpdState::Stop);
    EXPECT_EQ(parseStatus(reply).elapsed, 0);
    EXPECT_EQ(parseStatus(reply).song, std::nullopt);
}

TEST(MpdAddress, FromTheArgumentOrTheEnvironment) {
    struct Case {
        std::optional<std::string_view> argument;
        const char* host;
        const char* port;
        std::string password, expectedHost;
        std::uint16_t expectedPort;
    };
    const Case cases[] = {
        {std::nullopt, nullptr, nullptr, "", "localhost", 6600},
        {"", "", "", "", "localhost", 6600},
        {std::nullopt, "music.lan", "6601", "", "music.lan", 6601},
        {std::nullopt, "s3cr@t@music.lan", nullptr, "s3cr@t", "music.lan", 6600},
        {std::nullopt, "/run/mpd/socket", nullptr, "", "/run/mpd/socket", 6600},
        {std::nullopt, "pw@/run/mpd/socket", nullptr, "pw", "/run/mpd/socket", 6600},
        {std::nullopt, "@mpd", nullptr, "", "@mpd", 6600},
        {std::nullopt, "::1", "7000", "", "::1", 7000},
        {"192.0.2.7:6700", "ignored", "6601", "", "192.0.2.7", 6700},
        {"192.0.2.7", nullptr, "6601", "", "192.0.2.7", 6601},
        {"pw@[2001:db8::2]:6602", nullptr, nullptr, "pw", "2001:db8::2", 6602},
        {"[::1]", nullptr, nullptr, "", "::1", 6600},
        {"2001:db8::2", nullptr, nullptr, "", "2001:db8::2", 6600},
    };
    for (const Case& c : cases) {
        const MpdAddress address = parseMpdAddress(c.argument, c.host, c.port);
        EXPECT_EQ(address.password, c.password) << c.argument.value_or(c.host ? c.host : "");
        EXPECT_EQ(address.host, c.expectedHost) << c.argument.value_or(c.host ? c.host : "");
        EXPECT_EQ(address.port, c.expectedPort) << c.argument.value_or(c.host ? c.host : "");
    }
    EXPECT_TRUE(parseMpdAddress(std::nullopt, "/run/mpd/socket", nullptr).local());
    for (const char* bad : {"host:0", "host:65536", "host:x", "[::1", "[::1]x", "h:"})
        EXPECT_THROW(parseMpdAddress(std::string_view(bad), nullptr, nullptr), MpdAddressError)
            << bad;
    EXPECT_THROW(parseMpdAddress(std::nullopt, "host", "port"), MpdAddressError);
}

TEST(MpdQuote, EscapesQuotesAndBackslashes) {
    EXPECT_EQ(mpdQuote(R"(Aero/Über "x" \ y.flac)"), R"("Aero/Über \"x\" \\ y.flac")");
}

}  // namespace
}  // namespace velmora::jukebox
