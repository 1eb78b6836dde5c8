// SPDX-License-Identifier: MIT
#include "common/messages.h"

#include <gtest/gtest.h>

#include "board_fields.h"
#include "velmora/field_splitter.h"
#include "velmora/link_protocol.h"

namespace velmora::jukebox {
namespace {

using testing::boardFields;

TEST(Messages, ExactLayouts) {
    const Track track{"Album", "Artist", "Title", 308, true, "/path/cover.bmp"};
    EXPECT_EQ(timeMessage(133), "time[2:13]");
    EXPECT_EQ(playingMessage(&track, 3),
              R"(playing["Album","Artist","Title","5:08","/path/cover.bmp","3","1"])");
    EXPECT_EQ(pointerMessage(4), "playlist_pointer[4]");
    EXPECT_EQ(itemMessage("5", &track, 5),
              R"(playlist_item["5","Album","Artist","Title","5:08","/path/cover.bmp","5","1"])");
    EXPECT_EQ(itemMessage("9", nullptr, 9), R"(playlist_item["9",""," ","","","","","0"])");
    EXPECT_EQ(timeMessage(std::nullopt), "time[]");
    EXPECT_EQ(playingMessage(nullptr, 2), R"(playing["","","","","","2","0"])");
    Track unknown = track;
    unknown.lengthKnown = false;
    EXPECT_EQ(playingMessage(&unknown, 1),
              R"(playing["Album","Artist","Title","","/path/cover.bmp","1","1"])");
}

TEST(Messages, TimeIsMinutesAndTwoDigitSeconds) {
    const std::pair<int, const char*> cases[] = {{0, "0:00"},  {9, "0:09"},   {59, "0:59"},
                                                 {60, "1:00"}, {308, "5:08"}, {4502, "75:02"},
                                                 {-5, "0:00"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(formatTime(seconds), text) << seconds;
}

// Whatever a name holds, a board's cut gives back exactly the field that was meant.
TEST(Messages, BoardCutsEveryNameBackIntoItsField) {
    const std::string longName(2000, 'x');
    std::string longAccented;
    for (int i = 0; i < 700; ++i) longAccented += "\u00e9";
    const std::string names[] = {
        "Plain",      "Simon & Garfunkel", "\u00c9clair de lune", "",
        "a\",\"b",    "ends with \",",     "ends with \"",        "\"quoted\"",
        "\",\"",      "tab\there",         "new\nline",           longName,
        longAccented, "\xE9t\xE9",  // Windows-1252
    };
    for (const std::string& name : names) {
        const Track track{name, name, name, 61, true, "/c.bmp"};
        for (const std::string& message :
             {playingMessage(&track, 7), itemMessage("7", &track, 7)}) {
            const auto fields = boardFields(message);
            ASSERT_TRUE(fields) << message;
            const std::size_t album = message.starts_with("playing") ? 0 : 1;
            for (std::size_t f = album; f < album + 3; ++f)
                EXPECT_EQ((*fields)[f], textField(name)) << message;
            EXPECT_EQ((*fields)[album + 3], "1:01");
            EXPECT_EQ((*fields)[album + 4], "/c.bmp");
            EXPECT_EQ((*fields)[album + 5], "7");
            EXPECT_TRUE(link::isValidUtf8(message));
        }
    }
}

// The board's own splitter agrees with the layout rules above.
TEST(Messages, TheBoardsSplitterCutsThemTheSameWay) {
    const std::string name = "\"Fuse Box\" Lullaby, \",\" & \u00e9";
    const Track track{name, "Simon & Garfunkel", "ends with \",", 308, true, "/a\"/b.bmp"};
    const std::string message = playingMessage(&track, 3);
    const auto fields = boardFields(message);
    ASSERT_TRUE(fields);
    link::FieldSplitter splitter(link::dropFirst(message, 9).value());
    for (const std::string& field : *fields)
        EXPECT_EQ(splitter.next(), std::optional<std::string_view>(field));
}

TEST(Messages, NamesKeepTheirTextButNotStraightQuotesOrControls) {
    const std::pair<std::string, std::string> cases[] = {
        {"Simon & Garfunkel", "Simon & Garfunkel"},
        {"\u00c9clair", "\u00c9clair"},
        {"\"Fuse Box\" Lullaby", "\u201CFuse Box\u201D Lullaby"},
        {"Say (\"Hi\")", "Say (\u201CHi\u201D)"},
        {"12\" single", "12\u201D single"},
        {"a\tb\x7F", "a b "},
        {"Caf\xE9 \x93Noir\x94", "Caf\u00e9 \u201CNoir\u201D"},
    };
    for (const auto& [name, shown] : cases) EXPECT_EQ(textField(name), shown) << name;

    std::string accented;
    for (int i = 0; i < 700; ++i) accented += "\u00e9";  // 1400 bytes
    const std::string cut = textField(accented);
    EXPECT_LE(cut.size(), kMaxTextFieldBytes);
    EXPECT_GE(cut.size(), kMaxTextFieldBytes - 1);
    EXPECT_TRUE(link::isValidUtf8(cut));
}

TEST(Messages, PicturePathIsSentIntactOrNotAtAll) {
    const std::pair<std::string, bool> cases[] = {
        {"/home/me/Music/Simon & Garfunkel/folder.jpg", true},
        {"/m\u00fasica/cover.jpg", true},
        {"/odd/name\".jpg", true},
        {"/odd/ends-with-quote\"", true},
        {"/a\",\"b/cover.jpg", false},
        {"/a/ends\",", false},
        {"/tab\t/cover.jpg", false},
        {"/latin1/\xE9/cover.jpg", false},
        {"/" + std::string(kMaxPathFieldBytes, 'p'), false},
    };
    for (const auto& [path, sent] : cases) {
        EXPECT_EQ(pathField(path), sent ? path : "") << path;
        if (!sent) continue;
        const Track track{"A", "B", "C", 1, true, path};
        const auto fields = boardFields(playingMessage(&track, 1));
        ASSERT_TRUE(fields) << path;
        EXPECT_EQ((*fields)[4], path);
    }
}

TEST(Messages, LongestMessageFitsOnTheLink) {
    for (const char fill : {'x', '"'}) {  // each quote becomes three bytes before the cut
        const std::string text(3 * kMaxTextFieldBytes, fill);
        const std::string path = "/" + std::string(kMaxPathFieldBytes - 1, 'p');
        const Track track{text, text, text, 1'000'000, true, path};
        const std::string endpoint(link::kMaxEndpointBytes, 'e');
        const std::string line =
            link::encodeMessage(endpoint, itemMessage("9999999999999", &track, 1));
        EXPECT_LE(line.size() - 1, link::kMaxLineBytes);
        EXPECT_EQ(boardFields(itemMessage("1", &track, 1)).value()[5], path);
        EXPECT_LE(textField(text).size(), kMaxTextFieldBytes);
    }
}

}  // namespace
}  // namespace velmora::jukebox
