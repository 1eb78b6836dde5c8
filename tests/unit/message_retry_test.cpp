// SPDX-License-Identifier: MIT
// A step refused access is tried again 10 s later, at most three times, from that step on; the
// messages that arrive meanwhile wait their turn.
#include <gtest/gtest.h>

#include "message_harness.h"

namespace velmora {
namespace {

using testing::MessageBoard;
using testing::playing;
using Lines = std::vector<std::string>;
constexpr ErrorCode kDenied = ErrorCode::PermissionDenied;

TEST(MessageRetry, ARefusedPictureIsLoadedAgainTenSecondsLaterWhileTheTrackGoesOn) {
    MessageBoard b;
    b.platform.pictures.insert("p.jpg");
    b.platform.pictureFailures["p.jpg"] = {kDenied};
    b.deliver(playing("Al", "Ar", "Ti", "3:00", "p.jpg"));
    EXPECT_EQ(b.recorder.writes, (Lines{"Title", "Album", "Artist", "TotalTime"}));
    EXPECT_EQ(b.sends(), Lines{"LinkSend(cdj,playlist_getpointer)"});
    b.deliver("time[0:05]");
    EXPECT_EQ(b.text(display::ElapsedTime), "0:05");
    b.platform.advance(9999);
    EXPECT_EQ(b.platform.calls("LoadPicture").size(), 1u);
    b.platform.advance(1);
    EXPECT_EQ(b.platform.calls("LoadPicture").size(), 2u);
    EXPECT_EQ(b.picture(), "p.jpg");
    EXPECT_FALSE(b.handler.holding());
}

TEST(MessageRetry, EachStepIsTriedAtMostThreeTimesMore) {
    struct Case {
        const char* name;
        std::deque<ErrorCode> pictureFailures;
        std::deque<ErrorCode> sendFailures;
        std::size_t loads, sends;
        std::string picture;
    } cases[] = {
        {"three refusals, then it loads", {kDenied, kDenied, kDenied}, {}, 4, 1, "p.jpg"},
        {"four refusals clear the box", {kDenied, kDenied, kDenied, kDenied}, {}, 4, 1, ""},
        {"a refused send is sent again", {}, {kDenied}, 1, 2, "p.jpg"},
        {"the count is per step",
         {kDenied, kDenied, kDenied},
         {kDenied, kDenied, kDenied},
         4,
         4,
         "p.jpg"},
        {"another failure on retry gives way to the default picture",
         {kDenied, ErrorCode::FileNotFound},
         {},
         2,
         1,
         ""},
        {"no retry for an overflowing result", {}, {ErrorCode::Overflow}, 1, 1, "p.jpg"},
    };
    for (const auto& c : cases) {
        MessageBoard b;
        b.platform.pictures.insert("p.jpg");
        b.platform.pictureFailures["p.jpg"] = c.pictureFailures;
        b.link.sendFailures = c.sendFailures;
        b.deliver(playing("Al", "Ar", "Ti", "3:00", "p.jpg"));
        b.platform.advance(200000);
        EXPECT_EQ(b.platform.calls("LoadPicture").size(), c.loads) << c.name;
        EXPECT_EQ(b.sends().size(), c.sends) << c.name;
        EXPECT_EQ(b.text(display::TotalTime), "3:00") << c.name;
        EXPECT_EQ(b.picture(), c.picture) << c.name;
        EXPECT_FALSE(b.handler.holding()) << c.name;
    }
}

TEST(MessageRetry, MessagesArrivingMeanwhileAreHandledAfterwardsInOrder) {
    MessageBoard b;
    b.link.sendFailures = {kDenied};
    b.deliver(playing("Al", "Ar", "Ti", "3:00", "p.jpg"));
    b.deliver("time[0:05]");
    b.deliver("hello", "cdj");
    b.deliver(playing("Al2", "Ar2", "Ti2", "4:00", "q.jpg"));
    b.deliver("echo[cdjon]");
    b.deliver("playlist_pointer[5]");
    EXPECT_EQ(b.logLines().size(), 1u);
    EXPECT_EQ(b.text(display::ElapsedTime), "");
    b.platform.advance(9999);
    EXPECT_EQ(b.logLines().size(), 1u);
    b.platform.advance(1);
    EXPECT_EQ(b.logLines(),
              (Lines{"cdjr:/S " + playing("Al", "Ar", "Ti", "3:00", "p.jpg"), "cdjr:/S time[0:05]",
                     "cdj:/S hello", "cdjr:/S " + playing("Al2", "Ar2", "Ti2", "4:00", "q.jpg"),
                     "cdjr:/S echo[cdjon]", "cdjr:/S playlist_pointer[5]"}));
    EXPECT_EQ(b.sends(),
              (Lines{"LinkSend(cdj,playlist_getpointer)", "LinkSend(cdj,playlist_getpointer)",
                     "LinkSend(cdj,playlist_getpointer)", "LinkSend(cdj,playlist_getitem[6])"}));
    EXPECT_EQ(b.text(display::ElapsedTime), "0:05");
    EXPECT_EQ(b.text(display::Title), "Ti2");
    EXPECT_EQ(b.text(display::TotalTime), "4:00");
    EXPECT_TRUE(b.context.echoReceived());
}

TEST(MessageRetry, TheWaitingLineKeepsTheNewestMessages) {
    MessageBoard b;
    b.link.sendFailures = {kDenied};
    b.deliver(playing("Al", "Ar", "Ti", "3:00", "p.jpg"));
    const int total = static_cast<int>(board::MessageHandler::kMaxWaiting) + 44;
    for (int i = 1; i <= total; ++i) b.deliver("playlist_pointer[" + std::to_string(i) + "]");
    b.platform.advance(10000);
    const Lines sends = b.platform.calls("LinkSend(cdj,playlist_getitem");
    ASSERT_EQ(sends.size(), board::MessageHandler::kMaxWaiting);
    EXPECT_EQ(sends.front(), "LinkSend(cdj,playlist_getitem[46])");
    EXPECT_EQ(sends.back(), "LinkSend(cdj,playlist_getitem[" + std::to_string(total + 1) + "])");
}

TEST(MessageRetry, OtherFailuresEndTheMessageAtOnceAndTheNextIsNotHeld) {
    MessageBoard b;
    b.deliver(playing("Al", "Ar", "Ti", "3:00", "missing.jpg"));
    b.deliver("time[0:07]");
    EXPECT_EQ(b.text(display::ElapsedTime), "0:07");
    b.platform.advance(60000);
    EXPECT_EQ(b.platform.calls("LoadPicture").size(), 1u);
    EXPECT_TRUE(b.platform.timers.empty());
}

// The whole window: the notify timer waits for a held message, and an unload cancels the retry.
struct Window : testing::RunningBoard {
    Window() {
        platform.advance(1000);
        links.links[0]->sendFailures = {kDenied};
        deliver(playing("Al", "Ar", "Ti", "3:00", "p.jpg"));
        deliver("echo[cdjon]");
    }
};

TEST(MessageRetry, TheNotifyTimerWaitsForAHeldMessage) {
    Window w;
    w.platform.advance(9999);  // ticks at 5 s and 10 s; the echo is still waiting its turn
    EXPECT_TRUE(w.platform.calls("LinkSend(cdj,echo[cdjon])").empty());
    EXPECT_TRUE(w.platform.calls("FindFirstFile").empty());
    w.platform.advance(5000);  // the retry at 11 s, then the tick at 15 s sees the echo
    EXPECT_EQ(w.platform.calls("LinkSend(cdj,echo[cdjon])").size(), 1u);
    EXPECT_TRUE(w.platform.calls("FindFirstFile").empty());
}

TEST(MessageRetry, AnUnloadDropsTheHeldMessage) {
    Window w;
    w.platform.window("Velmora")->events.mouseDown(1, 0, 0, 0);
    w.platform.advance(60000);
    EXPECT_EQ(w.platform.calls("LinkSend(cdj,playlist_getpointer)").size(), 1u);
    EXPECT_EQ(w.platform.log.back(), "Quit");
    EXPECT_TRUE(w.platform.fatals.empty());
}

}  // namespace
}  // namespace velmora
