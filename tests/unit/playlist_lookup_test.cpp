// SPDX-License-Identifier: MIT
// The next-song look-up: the pointer's number and the entry's "Next Up:" block.
#include <gtest/gtest.h>

#include <optional>

#include "message_harness.h"

namespace velmora {
namespace {

using testing::item;
using testing::MessageBoard;
using Lines = std::vector<std::string>;

TEST(PlaylistPointer, AsksForTheEntryAfterThePositionRoundedDown) {
    const std::optional<std::string> none;
    struct Case {
        std::string message;
        std::optional<std::string> entry;
    } cases[] = {
        {"playlist_pointer[5]", "6"},
        {"playlist_pointer[2.7]", "3"},
        {"playlist_pointer 1 ", "2"},
        {"playlist_pointer[9]", "10"},
        {"playlist_pointer[0099]", "100"},
        {"playlist_pointer[+4]", "5"},
        {"playlist_pointer[ 4 ]", "5"},
        {"playlist_pointer[4.]", "5"},
        {"playlist_pointer[99999999999999999999999999]", "100000000000000000000000000"},
        {"playlist_pointer[123456789012345678.9]", "123456789012345679"},
        {"playlist_pointer[0]", none},
        {"playlist_pointer[-1]", none},
        {"playlist_pointer[0.99]", none},
        {"playlist_pointer[-0.5]", none},
        {"playlist_pointer[.5]", none},
        {"playlist_pointer[]", none},
        {"playlist_pointer[", none},
        {"playlist_pointer", none},
        {"playlist_pointer[5", none},  // the 5 is the closing character
        {"playlist_pointer[abc]", none},
        {"playlist_pointer[1,5]", none},
        {"playlist_pointer[1.2.3]", none},
        {"playlist_pointer[1e3]", none},
        {"playlist_pointer[0x10]", none},
        {"playlist_pointer[--1]", none},
        {"playlist_pointer[+]", none},
        {"playlist_pointer[inf]", none},
        {"playlist_pointer[\xD9\xA5]", none},  // a digit of another script
    };
    for (const auto& c : cases) {
        MessageBoard b;
        b.deliver(c.message);
        Lines expected;
        if (c.entry) expected.push_back("LinkSend(cdj,playlist_getitem[" + *c.entry + "])");
        EXPECT_EQ(b.sends(), expected) << c.message;
        EXPECT_TRUE(b.recorder.writes.empty()) << c.message;
    }
}

TEST(PlaylistItem, WritesTheNextBlockInTheOrderItsMarkerGives) {
    struct Case {
        std::string message;
        Lines writes;
        const char* title;
        const char* artist;
        const char* album;
    } cases[] = {
        {item("Al", "Ar", "Ti", "1"), {"NextTitle", "NextArtist", "NextAlbum"}, "Ti", "Ar", "Al"},
        {item("Al", "", "Ti", "1"), {"NextTitle", "NextAlbum"}, "Ti", "Ar0", "Al"},
        {item("", "", "", "1"), {"NextTitle"}, "", "Ar0", "Al0"},
        {item("Al", "Ar", "Ti", ""), {"NextTitle", "NextArtist", "NextAlbum"}, "Ti", "Ar", "Al"},
        {item("Al", "Ar", "Ti", "00"), {"NextTitle", "NextArtist", "NextAlbum"}, "Ti", "Ar", "Al"},
        {item("Al", "Ar", "Ti", "0"), {"NextAlbum", "NextArtist", "NextTitle"}, " ", "Ar", "Al"},
        {item("", "", "Ti", "0"), {"NextAlbum", "NextTitle"}, " ", "Ar0", ""},
        {item("Rock & Roll", "A && B", "Ti", "1"),
         {"NextTitle", "NextArtist", "NextAlbum"},
         "Ti",
         "A && B",
         "Rock & Roll"},
        // Broken entries: every field is cut before anything is written.
        {"playlist_item[\"3\",\"Al\",\"Ar\",\"Ti\",\"4:00\",\"c.jpg\",\"x\"]",
         {},
         "Ti0",
         "Ar0",
         "Al0"},
        {"playlist_item[\"3\",\"Al\",\"Ar\",\"Ti\",\"4:00\",\"c.jpg\",\"x\",\"1]",
         {},
         "Ti0",
         "Ar0",
         "Al0"},
        {"playlist_item[\"Al\",\"Ar\",\"Ti\",\"4:00\",\"c.jpg\",\"x\",\"1\"]",
         {},
         "Ti0",
         "Ar0",
         "Al0"},
        {"playlist_item[", {}, "Ti0", "Ar0", "Al0"},
        {"playlist_item", {}, "Ti0", "Ar0", "Al0"},
    };
    for (const auto& c : cases) {
        MessageBoard b;
        b.deliver(item("Al0", "Ar0", "Ti0", "1"));
        b.recorder.writes.clear();
        b.deliver(c.message);
        EXPECT_EQ(b.recorder.writes, c.writes) << c.message;
        EXPECT_EQ(b.text(display::NextTitle), c.title) << c.message;
        EXPECT_EQ(b.text(display::NextArtist), c.artist) << c.message;
        EXPECT_EQ(b.text(display::NextAlbum), c.album) << c.message;
        EXPECT_TRUE(b.sends().empty()) << c.message;
    }
}

TEST(PlaylistItem, EveryItemUpdatesTheBlockWhetherAskedForOrNot) {
    MessageBoard b;
    b.deliver(item("Al1", "Ar1", "Ti1", "1"));
    b.deliver(item("Al2", "Ar2", "Ti2", "1"));
    b.deliver(item("Al2", "Ar2", "Ti2", "1"));
    EXPECT_EQ(b.recorder.writes.size(), 9u);
    EXPECT_EQ(b.text(display::NextTitle), "Ti2");
}

}  // namespace
}  // namespace velmora
