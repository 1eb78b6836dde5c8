// SPDX-License-Identifier: MIT
// The board's colour scheme: the thirteen reads, which controls each setting colours, and stored
// texts that name no colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "display/board_design.h"
#include "display/board_scaling.h"
#include "fake/fake_platform.h"
#include "shell/application.h"

namespace velmora {
namespace {

using fake::FakePlatform;
using Lines = std::vector<std::string>;
using display::Id;

constexpr TwipSize kCanvas{12240, 9300};

void store(FakePlatform& p, const std::string& key, const std::string& value) {
    p.store[{"Velmora2000", "Default_color", key}] = value;
}

Form colouredBoard(FakePlatform& p) {
    Form board = display::makeBoard();
    display::applyScalingAndColours(board, kCanvas, p);
    return board;
}

TEST(ScalingColours, ThirteenReadsInOrderEachDefaultingToTheCurrentColour) {
    FakePlatform p;
    const Form design = display::makeBoard();
    const Form board = colouredBoard(p);
    const Lines expected = {
        "GetSetting(Velmora2000,Default_color,Background,0)",
        "GetSetting(Velmora2000,Default_color,Title,49344)",
        "GetSetting(Velmora2000,Default_color,CDTitle,49344)",
        "GetSetting(Velmora2000,Default_color,Artist,49344)",
        "GetSetting(Velmora2000,Default_color,Time,49152)",
        "GetSetting(Velmora2000,Default_color,Time,49152)",
        "GetSetting(Velmora2000,Default_color,NextSong,49344)",
        "GetSetting(Velmora2000,Default_color,NextSong,49344)",
        "GetSetting(Velmora2000,Default_color,NextSong,49344)",
        "GetSetting(Velmora2000,Default_color,Section,12632256)",
        "GetSetting(Velmora2000,Default_color,Section,12632256)",
        "GetSetting(Velmora2000,Default_color,Time,49152)",
        "GetSetting(Velmora2000,Default_color,Time,49152)",
    };
    EXPECT_EQ(p.log, expected);
    for (int i = 0; i < board.count(); ++i) {
        EXPECT_EQ(board[i].foreColour, design[i].foreColour) << board[i].name;
        EXPECT_EQ(board[i].backColour, design[i].backColour) << board[i].name;
    }
    EXPECT_EQ(board.backColour(), 0);
}

TEST(ScalingColours, DefaultsAreTheControlsColoursAtThatMoment) {
    FakePlatform p;
    Form board = display::makeBoard();
    board.setForeColour(display::NextTitle, 255);
    board.setBackColour(display::Title, 0x123456);
    display::applyScalingAndColours(board, kCanvas, p);
    EXPECT_EQ(p.log[0], "GetSetting(Velmora2000,Default_color,Background,1193046)");
    EXPECT_EQ(p.log[8], "GetSetting(Velmora2000,Default_color,NextSong,255)");
    EXPECT_EQ(board[display::NextTitle].foreColour, 255);
    // Title's background, read back, reaches the other fields, the labels and the board.
    EXPECT_EQ(board[display::Label4].backColour, 0x123456);
    EXPECT_EQ(board.backColour(), 0x123456);
}

TEST(ScalingColours, EachSettingColoursItsOwnControls) {
    const Colour colour = rgb(10, 20, 30);
    const std::map<std::string, std::vector<Id>> groups = {
        {"Title", {display::Title}},
        {"CDTitle", {display::Album}},
        {"Artist", {display::Artist}},
        {"Time", {display::ElapsedTime, display::TotalTime, display::Label3, display::Label4}},
        {"NextSong", {display::NextAlbum, display::NextArtist, display::NextTitle}},
        {"Section", {display::Label1, display::Label2}},
    };
    const Form design = display::makeBoard();
    for (const auto& [key, ids] : groups) {
        FakePlatform p;
        store(p, key, std::to_string(colour));
        const Form board = colouredBoard(p);
        for (int i = 0; i < board.count(); ++i) {
            const bool inGroup = std::find(ids.begin(), ids.end(), i) != ids.end();
            EXPECT_EQ(board[i].foreColour, inGroup ? colour : design[i].foreColour)
                << key << " " << board[i].name;
            EXPECT_EQ(board[i].backColour, design[i].backColour) << key << " " << board[i].name;
        }
    }
}

TEST(ScalingColours, BackgroundReachesEveryFieldLabelAndTheBoardButNotTheListOrPicture) {
    FakePlatform p;
    store(p, "Background", "16777215");
    const Form board = colouredBoard(p);
    for (int i = 0; i < board.count(); ++i) {
        const ControlKind kind = board[i].kind;
        const bool coloured = kind == ControlKind::Label || kind == ControlKind::TextField;
        EXPECT_EQ(board[i].backColour, coloured ? rgb(255, 255, 255) : 0) << board[i].name;
    }
    EXPECT_EQ(board.backColour(), rgb(255, 255, 255));
}

TEST(ScalingColours, ATextThatNamesNoColourKeepsTheDesignColour) {
    const char* unreadable[] = {"red",  "",    "  ", "2147483648", "-2147483649",         "12 34",
                                "0x10", "1.5", "+5", "&HFF",       "99999999999999999999"};
    const Form design = display::makeBoard();
    for (const char* text : unreadable) {
        FakePlatform p;
        for (const char* key :
             {"Background", "Title", "CDTitle", "Artist", "Time", "NextSong", "Section"})
            store(p, key, text);
        const Form board = colouredBoard(p);
        for (int i = 0; i < board.count(); ++i) {
            EXPECT_EQ(board[i].foreColour, design[i].foreColour)
                << "[" << text << "] " << board[i].name;
            EXPECT_EQ(board[i].backColour, design[i].backColour)
                << "[" << text << "] " << board[i].name;
        }
    }
}

TEST(ScalingColours, OneUnreadableKeyLeavesTheOthersApplied) {
    FakePlatform p;
    store(p, "Title", "yellow");
    store(p, "Artist", " 255 ");
    const Form board = colouredBoard(p);
    EXPECT_EQ(board[display::Title].foreColour, display::kDarkYellow);
    EXPECT_EQ(board[display::Artist].foreColour, 255);
}

// The whole start-up goes on past a bad colour: the board opens and the jukebox is asked for
// notifications.
TEST(ScalingColours, AStartWithAnUnreadableColourStillShowsTheBoard) {
    FakePlatform p;
    fake::FakeLinkFactory links(p);
    p.commandLineText = "/S";
    p.screen = {1920 * 15, 1080 * 15};
    store(p, "Title", "letters");
    store(p, "NextSong", "65280");
    auto services = p.services();
    shell::Application app(services, links);
    app.start();
    EXPECT_TRUE(p.fatals.empty());
    EXPECT_EQ(p.calls("LinkOpen").size(), 2u);
    ASSERT_NE(p.window("Velmora"), nullptr);
    const Form& board = p.window("Velmora")->form;
    EXPECT_TRUE(p.window("Velmora")->shown);
    EXPECT_EQ(board[display::Title].foreColour, display::kDarkYellow);
    EXPECT_EQ(board[display::NextArtist].foreColour, rgb(0, 255, 0));
    EXPECT_EQ(board[display::Title].width, display::scaleFactorsFor(p.screen).x * 11655.0f);
}

}  // namespace
}  // namespace velmora
