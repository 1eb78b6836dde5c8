// SPDX-License-Identifier: MIT
#include "serve/conversation.h"

#include <gtest/gtest.h>

#include "playlist/player.h"

namespace velmora::jukebox {
namespace {

using Lines = std::vector<std::string>;

class ConversationTest : public ::testing::Test {
  protected:
    ConversationTest()
        : player({Track{"Night Ferry", "The Lantern Choir", "Paper Boats", 221, true, "/c/1.bmp"},
                  Track{"Long Distance", "Marlow & Finch", "Copper", 252, true, ""}}) {}

    Lines say(std::string_view line) {
        Conversation::Output out;
        conversation.handleLine(line, player, out);
        return out;
    }
    // A board's usual start: both endpoints open.
    void greetAndOpen() {
        say("VELMORA-LINK 1");
        say("OPEN cdj type=devtx");
        say("OPEN cdjr type=devrx");
    }

    Player player;
    Conversation conversation;
};

TEST_F(ConversationTest, AnythingButTheHelloFirstEndsTheConversation) {
    for (const char* first : {"VELMORA-LINK 2", "velmora-link 1", "OPEN cdj type=devtx", ""}) {
        Conversation fresh;
        Conversation::Output out;
        fresh.handleLine(first, player, out);
        EXPECT_EQ(out, Lines{"ERROR unsupported protocol\n"}) << first;
        EXPECT_TRUE(fresh.finished());
        out.clear();
        fresh.handleLine("VELMORA-LINK 1", player, out);
        EXPECT_TRUE(out.empty());
    }
}

TEST_F(ConversationTest, AnswersEveryCommandOnTheReceiveEndpoint) {
    greetAndOpen();
    const std::pair<const char*, Lines> cases[] = {
        {"notify_playing_item[on]",
         {"MSG cdjr playing[\"Night Ferry\",\"The Lantern Choir\",\"Paper Boats\",\"3:41\","
          "\"/c/1.bmp\",\"1\",\"1\"]\n"}},
        {"notify_playing_timecode[on]", {"MSG cdjr time[0:00]\n"}},
        {"notify_playing_item[off]", {}},
        {"notify_playing_timecode[off]", {}},
        {"echo[cdjon]", {"MSG cdjr echo[cdjon]\n"}},
        {"echo[]", {"MSG cdjr echo[]\n"}},
        {"echo[with spaces ] and ]]", {"MSG cdjr echo[with spaces ] and ]]\n"}},
        {"playlist_getpointer", {"MSG cdjr playlist_pointer[1]\n"}},
        {"playlist_getitem[2]",
         {"MSG cdjr playlist_item[\"2\",\"Long Distance\",\"Marlow & Finch\",\"Copper\",\"4:12\","
          "\"\",\"2\",\"1\"]\n"}},
        // The playlist loops: after the last entry comes the first; past that, nothing.
        {"playlist_getitem[3]",
         {"MSG cdjr playlist_item[\"3\",\"Night Ferry\",\"The Lantern Choir\",\"Paper "
          "Boats\",\"3:41\",\"/c/1.bmp\",\"1\",\"1\"]\n"}},
        {"playlist_getitem[4]",
         {"MSG cdjr playlist_item[\"4\",\"\",\" \",\"\",\"\",\"\",\"\",\"0\"]\n"}},
        {"playlist_getitem[0]",
         {"MSG cdjr playlist_item[\"0\",\"\",\" \",\"\",\"\",\"\",\"\",\"0\"]\n"}},
        {"playlist_getitem[-1]",
         {"MSG cdjr playlist_item[\"-1\",\"\",\" \",\"\",\"\",\"\",\"\",\"0\"]\n"}},
        {"playlist_getitem[18446744073709551617]",
         {"MSG cdjr "
          "playlist_item[\"18446744073709551617\",\"\",\" \",\"\",\"\",\"\",\"\",\"0\"]\n"}},
        {"playlist_getitem[002]",
         {"MSG cdjr playlist_item[\"002\",\"Long Distance\",\"Marlow & "
          "Finch\",\"Copper\",\"4:12\",\"\",\"2\",\"1\"]\n"}},
        {"playlist_getitem[2.7]", {"ERROR unknown command: playlist_getitem[2.7]\n"}},
        {"playlist_getitem[]", {"ERROR unknown command: playlist_getitem[]\n"}},
        {"echo[cdjon", {"ERROR unknown command: echo[cdjon\n"}},
        {"Playlist_getpointer", {"ERROR unknown command: Playlist_getpointer\n"}},
        {"", {"ERROR unknown command\n"}},
    };
    for (const auto& [command, answer] : cases)
        EXPECT_EQ(say("SEND cdj " + std::string(command)), answer) << command;
}

TEST_F(ConversationTest, NotificationsFollowTheSwitches) {
    greetAndOpen();
    const auto notified = [&] {
        Conversation::Output out;
        conversation.trackStarted(player, out);
        conversation.secondPassed(player, out);
        return out.size();
    };
    EXPECT_EQ(notified(), 0u);
    say("SEND cdj notify_playing_item[on]");
    EXPECT_EQ(notified(), 1u);
    say("SEND cdj notify_playing_timecode[on]");
    EXPECT_EQ(notified(), 2u);
    say("SEND cdj notify_playing_item[off]");
    EXPECT_EQ(notified(), 1u);
    say("CLOSE cdjr");
    EXPECT_EQ(notified(), 0u);
    say("OPEN cdjr type=devrx");  // the switches belong to the client, not the endpoint
    EXPECT_EQ(notified(), 1u);
}

TEST_F(ConversationTest, EndpointsDecideWhereCommandsAndMessagesGo) {
    say("VELMORA-LINK 1");
    EXPECT_EQ(say("SEND cdj echo[x]"), Lines{"ERROR endpoint not open: cdj\n"});
    say("OPEN cdj type=devtx");
    EXPECT_EQ(say("SEND cdj echo[x]"), Lines{});  // nowhere to deliver
    say("OPEN cdjr type=devrx");
    say("OPEN other x=1 type=devrx");
    EXPECT_EQ(say("SEND cdj echo[x]"), (Lines{"MSG cdjr echo[x]\n", "MSG other echo[x]\n"}));
    EXPECT_EQ(say("SEND cdjr echo[x]"), Lines{"ERROR endpoint does not carry commands: cdjr\n"});
    EXPECT_EQ(say("CLOSE nothing"), Lines{"ERROR endpoint not open: nothing\n"});
    EXPECT_EQ(say("OPEN cdj"), Lines{});  // re-opened without options: carries nothing now
    EXPECT_EQ(say("SEND cdj echo[x]"), Lines{"ERROR endpoint does not carry commands: cdj\n"});
}

TEST_F(ConversationTest, MalformedLinesAreAnsweredWithErrors) {
    say("VELMORA-LINK 1");
    const std::string longEndpoint(65, 'e');
    for (const std::string& line :
         {std::string("open cdj type=devtx"), std::string("OPEN"), "OPEN " + longEndpoint,
          std::string("SEND  echo[x]"), std::string("CLOSE cdj extra"), std::string("HELLO"),
          std::string("VELMORA-LINK 1")}) {
        const Lines answer = say(line);
        ASSERT_EQ(answer.size(), 1u) << line;
        EXPECT_TRUE(answer[0].starts_with("ERROR bad line")) << answer[0];
        EXPECT_LE(answer[0].size(), 100u);
    }
    EXPECT_FALSE(conversation.finished());
}

TEST_F(ConversationTest, EndpointsAndAnswersAreBounded) {
    say("VELMORA-LINK 1");
    for (std::size_t i = 0; i < Conversation::kMaxEndpoints; ++i)
        EXPECT_EQ(say("OPEN rx" + std::to_string(i) + " type=devrx type=devtx"), Lines{});
    EXPECT_EQ(say("OPEN one-more type=devrx"), Lines{"ERROR too many endpoints: one-more\n"});

    // An echo that would make a line longer than a board accepts is refused, not sent.
    Conversation wide;
    Conversation::Output out;
    wide.handleLine("VELMORA-LINK 1", player, out);
    wide.handleLine("OPEN t type=devtx", player, out);
    wide.handleLine("OPEN " + std::string(64, 'r') + " type=devrx", player, out);
    wide.handleLine("SEND t echo[" + std::string(8170, 'x') + "]", player, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].starts_with("ERROR message too long for the link: echo[xxx")) << out[0];
}

}  // namespace
}  // namespace velmora::jukebox
