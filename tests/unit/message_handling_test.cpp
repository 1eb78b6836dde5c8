// SPDX-License-Identifier: MIT
// The link's messages as the board reads them: the log, the endpoint, each kind and its defects.
#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "message_harness.h"

namespace velmora {
namespace {

using testing::MessageBoard;
using testing::playing;
using Lines = std::vector<std::string>;

TEST(MessageLog, KeepsTheLastSevenMessagesOfEveryEndpointWithTheCommandLine) {
    MessageBoard b;
    b.platform.commandLineText = "/S 99";
    for (int i = 1; i <= 8; ++i)
        b.deliver(std::string("m").append(std::to_string(i)), i % 2 ? "cdjr" : "cdj");
    EXPECT_EQ(b.logLines(), (Lines{"cdj:/S 99 m2", "cdjr:/S 99 m3", "cdj:/S 99 m4", "cdjr:/S 99 m5",
                                   "cdj:/S 99 m6", "cdjr:/S 99 m7", "cdj:/S 99 m8"}));
}

TEST(MessageKinds, OnlyTheReceiveEndpointIsInterpreted) {
    for (const char* endpoint : {"cdj", "CDJR", "cdjr ", ""}) {
        MessageBoard b;
        b.platform.pictures.insert("p.jpg");
        for (const auto& m :
             {std::string("time[1:00]"), std::string("echo[cdjon]"),
              playing("Al", "Ar", "Ti", "3:00", "p.jpg"), std::string("playlist_pointer[5]")})
            b.deliver(m, endpoint);
        EXPECT_EQ(b.logLines().size(), 4u) << endpoint;
        EXPECT_TRUE(b.recorder.writes.empty()) << endpoint;
        EXPECT_TRUE(b.platform.calls("LinkSend").empty()) << endpoint;
        EXPECT_TRUE(b.platform.calls("LoadPicture").empty()) << endpoint;
        EXPECT_FALSE(b.context.echoReceived()) << endpoint;
    }
}

TEST(TimeCode, ShowsTheTextBetweenTheCountedCharactersUnlessItHoldsADash) {
    const std::optional<std::string> unchanged;
    struct Case {
        const char* message;
        std::optional<std::string> elapsed;
    } cases[] = {
        {"time[3:45]", "3:45"},
        {"time 1:02:03 ", "1:02:03"},
        {"timecode", "od"},      // any text that starts with "time" is a time code
        {"time[]", ""},          // six characters: an empty time
        {"time-3:45]", "3:45"},  // the dash is one of the characters dropped unread
        {"time[-0:01]", unchanged},
        {"time[0:01-", unchanged},
        {"time[", unchanged},
        {"time", unchanged},
        {"Time[1:00]", unchanged},
        {"time\xC2\xAB"
         "1:05\xC2\xBB",
         "1:05"},  // «1:05»: whole characters are dropped
    };
    for (const auto& c : cases) {
        MessageBoard b;
        b.deliver("time[9:59]");
        b.deliver(c.message);
        EXPECT_EQ(b.text(display::ElapsedTime), c.elapsed.value_or("9:59")) << c.message;
    }
}

TEST(Playing, FillsTheTrackInOrderShowsTextAsReceivedAndAsksForThePointer) {
    MessageBoard b;
    const std::string cover = "/music/Simon & Garfunkel/cover&back.jpg";
    b.platform.pictures.insert(cover);
    b.deliver(playing("Bookends", "Simon & Garfunkel", "A && B", "4:02", cover, "unused") + "tail");
    EXPECT_EQ(b.recorder.writes, (Lines{"Title", "Album", "Artist", "TotalTime", "CDImage"}));
    EXPECT_EQ(b.text(display::Title), "A && B");
    EXPECT_EQ(b.text(display::Album), "Bookends");
    EXPECT_EQ(b.text(display::Artist), "Simon & Garfunkel");
    EXPECT_EQ(b.text(display::TotalTime), "4:02");
    EXPECT_EQ(b.picture(), cover);
    EXPECT_EQ(b.platform.calls("LoadPicture"), Lines{"LoadPicture(" + cover + ")"});
    EXPECT_EQ(b.sends(), Lines{"LinkSend(cdj,playlist_getpointer)"});
}

TEST(Playing, AMessageMissingASeparatorChangesNothing) {
    for (const std::string& message : {
             std::string("playing"),
             std::string("playing[\""),
             std::string("playing[\"Al\",\"Ar\",\"Ti\",\"3:00\",\"\",\"7\"]"),  // five separators
             std::string("playing[\"Al\",\"Ar\",\"Ti\"]"),
             std::string("playing[\"Al\";\"Ar\";\"Ti\";\"3:00\";\"\";\"7\";\"\"]"),
         }) {
        MessageBoard b;
        b.deliver(message);
        EXPECT_TRUE(b.recorder.writes.empty()) << message;
        EXPECT_TRUE(b.sends().empty()) << message;
    }
}

// The previous track's cover never stays beside a new track, and the track is still shown whole.
TEST(Playing, APictureThatCannotBeLoadedGivesWayToTheDefaultPictureOrAnEmptyBox) {
    using Store = std::map<std::string, std::string>;  // key of "Default_picture" -> value
    struct Case {
        const char* name;
        ErrorCode failure;
        Store stored;
        std::string picture;  // what CDImage shows afterwards
    } cases[] = {
        {"missing, no default", ErrorCode::FileNotFound, {}, ""},
        {"not a picture, no default", ErrorCode::InvalidPicture, {}, ""},
        {"missing, the default shows",
         ErrorCode::FileNotFound,
         {{"Name", "d.jpg"}, {"FullPath", "/p/d.jpg"}},
         "/p/d.jpg"},
        {"not a picture, the default shows",
         ErrorCode::InvalidPicture,
         {{"Name", "d.jpg"}, {"FullPath", "/p/d.jpg"}},
         "/p/d.jpg"},
        {"the default is missing too",
         ErrorCode::FileNotFound,
         {{"Name", "d.jpg"}, {"FullPath", "/gone/d.jpg"}},
         ""},
        {"a default name without a path", ErrorCode::FileNotFound, {{"Name", "d.jpg"}}, ""},
    };
    for (const auto& c : cases) {
        MessageBoard b;
        b.platform.pictures = {"old.jpg", "/p/d.jpg"};
        b.deliver(playing("Al1", "Ar1", "Ti1", "1:00", "old.jpg"));
        for (const auto& [key, value] : c.stored)
            b.platform.store[{"Velmora2000", "Default_picture", key}] = value;
        b.platform.log.clear();
        b.platform.pictures.insert("bad.jpg");
        b.platform.pictureFailures["bad.jpg"] = {c.failure};
        b.deliver(playing("Al2", "Ar2", "Ti2", "2:00", "bad.jpg"));
        EXPECT_EQ(b.text(display::Title), "Ti2") << c.name;
        EXPECT_EQ(b.text(display::Artist), "Ar2") << c.name;
        EXPECT_EQ(b.picture(), c.picture) << c.name;
        EXPECT_EQ(b.text(display::TotalTime), "2:00") << c.name;
        EXPECT_EQ(b.sends(), Lines{"LinkSend(cdj,playlist_getpointer)"}) << c.name;
    }
}

// Pictures decode while the board goes on; whenever one arrives, only the current track's shows.
TEST(Playing, APictureArrivingLateIsShownOnlyForTheCurrentTrack) {
    struct Case {
        const char* name;
        bool withDefault;                // "Default_picture" names /p/d.jpg
        std::vector<std::string> steps;  // a track's picture ("" none), or "done": answers come
        std::string picture;             // what CDImage shows at the end
        std::size_t loads;
    } cases[] = {
        {"the track before's cover is dropped", false, {"a.jpg", "b.jpg", "done"}, "b.jpg", 2},
        {"a next track without a picture keeps the box, not the late cover",
         false,
         {"old.jpg", "done", "a.jpg", "", "done"},
         "old.jpg",
         2},
        {"a late failure does not clear the next track's box",
         false,
         {"old.jpg", "done", "bad.jpg", "b.jpg", "done"},
         "b.jpg",
         3},
        {"a failed cover takes the default, itself decoded in turn",
         true,
         {"old.jpg", "done", "bad.jpg", "done", "done"},
         "/p/d.jpg",
         3},
        {"that default is dropped when the next track comes",
         true,
         {"bad.jpg", "done", "b.jpg", "done"},
         "b.jpg",
         3},
        {"the same track again keeps its decode", false, {"a.jpg", "a.jpg", "done"}, "a.jpg", 1},
    };
    for (const auto& c : cases) {
        MessageBoard b;
        b.platform.holdPictures = true;
        b.platform.pictures = {"old.jpg", "a.jpg", "b.jpg", "/p/d.jpg"};
        b.platform.pictureFailures["bad.jpg"] = {ErrorCode::InvalidPicture};
        if (c.withDefault) {
            b.platform.store[{"Velmora2000", "Default_picture", "Name"}] = "d.jpg";
            b.platform.store[{"Velmora2000", "Default_picture", "FullPath"}] = "/p/d.jpg";
        }
        for (const std::string& step : c.steps) {
            if (step == "done") {
                b.platform.finishPictures();
                continue;
            }
            b.deliver(playing("Al", "Ar", "Ti " + step, "3:00", step));
            b.deliver("time[0:01]");  // the board goes on counting meanwhile
            EXPECT_EQ(b.text(display::Title), "Ti " + step) << c.name;
            EXPECT_EQ(b.text(display::ElapsedTime), "0:01") << c.name;
            b.deliver("time[9:59]");
        }
        EXPECT_EQ(b.picture(), c.picture) << c.name;
        EXPECT_EQ(b.platform.calls("LoadPicture").size(), c.loads) << c.name;
        EXPECT_TRUE(b.platform.heldPictures.empty()) << c.name;
    }
}

TEST(Playing, ATrackWithoutPictureShowsTheDefaultPictureReadAfresh) {
    using Store = std::map<std::string, std::string>;  // key of "Default_picture" -> value
    const std::string nameRead = "GetSetting(Velmora2000,Default_picture,Name,)";
    const std::string pathRead = "GetSetting(Velmora2000,Default_picture,FullPath,)";
    struct Case {
        const char* name;
        Store stored;
        std::string picture;  // what CDImage shows afterwards
        Lines reads;
        bool completes;  // total time written and pointer asked
    } cases[] = {
        {"nothing stored keeps the old picture", {}, "old.jpg", {nameRead}, true},
        {"an empty name keeps it",
         {{"Name", ""}, {"FullPath", "/p/d.jpg"}},
         "old.jpg",
         {nameRead},
         true},
        {"a name loads the full path",
         {{"Name", "d.jpg"}, {"FullPath", "/p/d.jpg"}},
         "/p/d.jpg",
         {nameRead, pathRead},
         true},
        {"an empty full path clears", {{"Name", "d.jpg"}}, "", {nameRead, pathRead}, true},
        {"a missing default clears, and the track goes on",
         {{"Name", "d.jpg"}, {"FullPath", "/gone/d.jpg"}},
         "",
         {nameRead, pathRead},
         true},
    };
    for (const auto& c : cases) {
        MessageBoard b;
        b.platform.pictures = {"old.jpg", "/p/d.jpg"};
        b.deliver(playing("Al", "Ar", "Ti", "1:00", "old.jpg"));
        for (const auto& [key, value] : c.stored)
            b.platform.store[{"Velmora2000", "Default_picture", key}] = value;
        b.platform.log.clear();
        b.deliver(playing("Al", "Ar", "Ti", "2:00", ""));
        EXPECT_EQ(b.picture(), c.picture) << c.name;
        EXPECT_EQ(b.platform.calls("GetSetting"), c.reads) << c.name;
        EXPECT_EQ(b.text(display::TotalTime), c.completes ? "2:00" : "1:00") << c.name;
        EXPECT_EQ(b.sends().size(), c.completes ? 1u : 0u) << c.name;
    }
}

TEST(Echo, AnyMessageStartingWithTheEchoSetsTheFlag) {
    struct Case {
        const char* message;
        std::int16_t flag;
    } cases[] = {{"echo[cdjon]", -1},
                 {"echo[cdjon] and more", -1},
                 {"echo[cdjoff]", 0},
                 {"echo[cdjo", 0},
                 {"ECHO[cdjon]", 0}};
    for (const auto& c : cases) {
        MessageBoard b;
        b.deliver(c.message);
        EXPECT_EQ(b.context.echoReceived() ? -1 : 0, c.flag) << c.message;
        EXPECT_TRUE(b.recorder.writes.empty()) << c.message;
    }
}

}  // namespace
}  // namespace velmora
