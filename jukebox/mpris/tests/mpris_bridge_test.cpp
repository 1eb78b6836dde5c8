// SPDX-License-Identifier: MIT
// The bridge's decisions on a bus of the test's own: which player the boards are shown, what they
// are told and when, and what it does with errors, a lost bus and a flood.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../../tests/temp_folder.h"
#include "mpris/mpris_bridge.h"
#include "mpris/tests/fake_bus.h"

namespace velmora::jukebox::mpris {
namespace {

using namespace std::chrono_literals;
using testing::dictValue;
using testing::errorReply;
using testing::FakeBus;
using testing::reply;

const std::string kPlayer = "org.mpris.MediaPlayer2.Player";
const std::string kIntrospection =
    R"(<node><interface name="org.mpris.MediaPlayer2.Player"/></node>)";
const std::string kIntrospectionWithTrackList =
    R"(<node><interface name="org.mpris.MediaPlayer2.Player"/>)"
    R"(<interface name="org.mpris.MediaPlayer2.TrackList"/></node>)";

// What a board is shown: the playing title and the Next Up title ("-" for nothing playing).
std::string view(const NowPlaying& source) {
    const Track* track = source.playingTrack();
    if (!track) return "-";
    const Entry next = source.entryAt(static_cast<std::int64_t>(source.playingPosition()) + 1);
    return track->title + ">" + (next.track ? next.track->title : "");
}

struct Board : NowPlayingListener {
    const NowPlaying* source = nullptr;
    std::vector<std::string> seen;  // at each "playing" the boards are sent
    void trackStarted() override { seen.push_back(view(*source)); }
    void secondPassed() override {}
};

// Metadata as players send it; a title of "" sends none (the file name stands in).
Dict track(const std::string& id, const std::string& title) {
    Dict metadata{{"mpris:trackid", id},
                  {"xesam:url", "file:///music/" + id.substr(id.rfind('/') + 1) + ".ogg"},
                  {"xesam:artist", Value::Array{"The Lantern Choir"}},
                  {"mpris:length", std::int64_t(30000000)}};
    if (!title.empty()) metadata["xesam:title"] = title;
    return metadata;
}

Dict playing(const Dict& metadata, const std::string& status = "Playing") {
    return {{"PlaybackStatus", status}, {"Metadata", dictValue(metadata)}};
}

MprisBridgeConfig fastConfig() {
    MprisBridgeConfig config;
    config.settle = 1h;  // each test that waits says so
    config.stopWait = 1h;
    config.nextWait = 1h;
    config.firstRetry = 1ms;
    config.lastRetry = 4ms;
    return config;
}

// The buses followed, in their order; each one's bus is known by its place.
const std::vector<BusKind> kSessionOnly{BusKind::Session};
const std::vector<BusKind> kSystemAndSession{BusKind::System, BusKind::Session};

class Desktop {
  public:
    // `listed`: the names each bus lists at the start; `refused`: the buses that do not open then.
    explicit Desktop(MprisBridgeConfig config = fastConfig(), std::vector<Value> listed = {},
                     const std::vector<BusKind>& kinds = kSessionOnly,
                     std::vector<bool> refused = {})
        : refuse(std::move(refused)) {
        config.coverFolder = folder_.path();
        refuse.resize(kinds.size());
        connects.resize(kinds.size());
        buses_.resize(kinds.size());
        std::vector<BusToFollow> buses;
        for (std::size_t place = 0; place < kinds.size(); ++place)
            buses.push_back({kinds[place],
                             [this, place, kind = kinds[place]](
                                 MessageBus::Lost lost) -> std::unique_ptr<MessageBus> {
                                 ++connects[place];
                                 if (refuse[place])
                                     throw NoBus("no " + std::string(busName(kind)) + ": refused");
                                 auto bus = std::make_unique<FakeBus>(std::move(lost));
                                 buses_[place] = bus.get();
                                 return bus;
                             }});
        bridge = std::make_unique<MprisBridge>(
            io, config, [this](const std::string& line) { log.push_back(line); }, std::move(buses));
        board.source = bridge.get();
        bridge->start(board);
        for (FakeBus* bus : buses_)
            if (bus) bus->answer("ListNames", reply({Value::Array(listed)}));
        board.seen.clear();
    }

    FakeBus& bus(std::size_t place = 0) { return *buses_.at(place); }

    void appear(const std::string& owner, const std::string& name, const Dict& properties,
                bool trackList = false, std::size_t on = 0) {
        nameOwner(name, "", owner, on);
        bus(on).answer("GetAll", reply({dictValue(properties)}), owner);
        bus(on).answer("Introspect",
                       reply({trackList ? kIntrospectionWithTrackList : kIntrospection}), owner);
    }
    void nameOwner(const std::string& name, const std::string& before, const std::string& after,
                   std::size_t on = 0) {
        bus(on).signal("NameOwnerChanged", reply({name, before, after}, "org.freedesktop.DBus"));
    }
    void changed(const std::string& owner, const Dict& properties, std::size_t on = 0) {
        bus(on).signal("PropertiesChanged",
                       reply({kPlayer, dictValue(properties), Value::Array{}}, owner));
    }
    std::size_t logged(const std::string& line) const {
        return static_cast<std::size_t>(std::count(log.begin(), log.end(), line));
    }
    // Runs the loop until `done`, or gives up after many turns (the test then fails on its check).
    bool runUntil(const std::function<bool()>& done) {
        for (int turn = 0; turn < 4000 && !done(); ++turn) io.run_one_for(5ms);
        return done();
    }

    asio::io_context io;
    Board board;
    std::vector<std::string> log;
    std::vector<bool> refuse;
    std::vector<int> connects;  // of each bus

  private:
    ::velmora::jukebox::testing::TempFolder folder_;
    std::vector<FakeBus*> buses_;  // the last one each bus opened

  public:
    std::unique_ptr<MprisBridge> bridge;
};

// A VLC with a track list of three: /1 plays, its Next Up is /2.
void vlcPlaysTheFirst(Desktop& desktop) {
    desktop.appear(":1.7", "org.mpris.MediaPlayer2.vlc", playing(track("/1", "Paper Boats")), true);
    desktop.bus().answer("Get Tracks", reply({Value(Value::Array{"/1", "/2", "/3"})}), ":1.7");
    desktop.bus().answer("GetTracksMetadata",
                         reply({Value(Value::Array{dictValue(track("/2", "Copper Wire"))})}));
    desktop.board.seen.clear();
}

TEST(MprisBridgeFollows, ThePlayerThatPlays) {
    struct Appearing {
        std::string name;
        std::string status;
        std::string title;
    };
    struct Case {
        const char* what;
        std::string only;  // --mpris PLAYER
        std::vector<Appearing> players;
        std::string shown;
    };
    const Case cases[] = {
        {"playing before paused",
         "",
         {{"org.mpris.MediaPlayer2.a", "Playing", "A"},
          {"org.mpris.MediaPlayer2.b", "Paused", "B"}},
         "A>"},
        {"paused before stopped",
         "",
         {{"org.mpris.MediaPlayer2.a", "Stopped", "A"},
          {"org.mpris.MediaPlayer2.b", "Paused", "B"}},
         "B>"},
        {"of two playing, the later",
         "",
         {{"org.mpris.MediaPlayer2.a", "Playing", "A"},
          {"org.mpris.MediaPlayer2.b", "Playing", "B"}},
         "B>"},
        {"a proxy is not a player",
         "",
         {{"org.mpris.MediaPlayer2.playerctld", "Playing", "P"},
          {"org.mpris.MediaPlayer2.vlc", "Paused", "V"}},
         "V>"},
        {"only the player asked for, instances too",
         "vlc",
         {{"org.mpris.MediaPlayer2.mpv", "Playing", "M"},
          {"org.mpris.MediaPlayer2.vlc.instance42", "Paused", "V"}},
         "V>"},
        {"a name that only begins like it",
         "vlc",
         {{"org.mpris.MediaPlayer2.vlcx", "Playing", "X"}},
         "-"},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        MprisBridgeConfig config = fastConfig();
        config.player = each.only;
        Desktop desktop(config);
        int n = 0;
        for (const Appearing& player : each.players) {
            const std::string number = std::to_string(++n);
            desktop.appear(":1." + number, player.name,
                           playing(track("/" + number, player.title), player.status));
        }
        EXPECT_EQ(view(*desktop.bridge), each.shown);
    }
}

TEST(MprisBridgeFollows, OnePlayerUnderTwoNamesUntilItsLastNameGoes) {
    Desktop desktop;
    desktop.appear(":1.4", "org.mpris.MediaPlayer2.mpv", playing(track("/1", "Paper Boats")));
    desktop.nameOwner("org.mpris.MediaPlayer2.mpv.instance9", "", ":1.4");
    desktop.board.seen.clear();
    EXPECT_FALSE(desktop.bus().waits("GetAll")) << "one player is read once";
    desktop.nameOwner("org.mpris.MediaPlayer2.mpv", ":1.4", "");
    EXPECT_EQ(view(*desktop.bridge), "Paper Boats>");
    desktop.nameOwner("org.mpris.MediaPlayer2.mpv.instance9", ":1.4", "");
    EXPECT_EQ(desktop.board.seen, (std::vector<std::string>{"-"}));
}

TEST(MprisBridgeFollows, OneProcessOnTwoConnectionsIsOnePlayer) {
    Desktop desktop;
    desktop.appear(":1.1", "org.mpris.MediaPlayer2.vlc", playing(track("/1", "Paper Boats")));
    desktop.appear(":1.2", "org.mpris.MediaPlayer2.vlc.instance7",
                   playing(track("/1", "Paper Boats")));
    for (int i = 0; i < 2; ++i)
        desktop.bus().answer("GetConnectionUnixProcessID", reply({std::uint64_t(7)}));
    desktop.board.seen.clear();
    // The two copies say the same a moment apart: the boards follow one of them.
    desktop.changed(":1.2", playing(track("/2", "Copper Wire")));
    EXPECT_TRUE(desktop.board.seen.empty());
    desktop.changed(":1.1", playing(track("/2", "Copper Wire")));
    desktop.nameOwner("org.mpris.MediaPlayer2.vlc", ":1.1", "");
    desktop.changed(":1.2", playing(track("/3", "Undertow")));
    EXPECT_EQ(desktop.board.seen, (std::vector<std::string>{"Copper Wire>", "Undertow>"}));
}

TEST(MprisBridgeTags, AFileNameWaitsForItsTags) {
    struct Case {
        const char* what;
        std::chrono::milliseconds settle;
        std::vector<Dict> announced;  // after "Paper Boats" plays
        std::vector<std::string> seen;
    };
    const Case cases[] = {
        {"the tags follow: shown once, with them",
         1h,
         {track("/2", ""), track("/2", "Copper Wire")},
         {"Copper Wire>"}},
        {"no tags come: the file name after the wait", 1ms, {track("/2", "")}, {"2.ogg>"}},
        {"no waiting: the file name at once, then the tags",
         0ms,
         {track("/2", ""), track("/2", "Copper Wire")},
         {"2.ogg>", "Copper Wire>"}},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        MprisBridgeConfig config = fastConfig();
        config.settle = each.settle;
        Desktop desktop(config);
        desktop.appear(":1.4", "org.mpris.MediaPlayer2.mpv", playing(track("/1", "Paper Boats")));
        desktop.board.seen.clear();
        for (const Dict& metadata : each.announced)
            desktop.changed(":1.4", {{"Metadata", dictValue(metadata)}});
        desktop.runUntil([&] { return desktop.board.seen.size() >= each.seen.size(); });
        EXPECT_EQ(desktop.board.seen, each.seen);
    }
}

TEST(MprisBridgeNextUp, OnePlayingPerTrackWithItsNextUp) {
    struct Case {
        const char* what;
        // What the player says of the entry after /2: nothing (never answers), or a reply.
        std::optional<Message> nextAnswer;
        std::vector<std::string> seen;
    };
    const Case cases[] = {
        {"the next entry's tags",
         reply({Value(Value::Array{dictValue(track("/3", "Undertow"))})}),
         {"Copper Wire>Undertow"}},
        {"an error: no Next Up, the track all the same",
         errorReply("org.freedesktop.DBus.Error.UnknownMethod"),
         {"Copper Wire>"}},
        {"no answer: the track after the wait", std::nullopt, {"Copper Wire>"}},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        MprisBridgeConfig config = fastConfig();
        config.nextWait = 1ms;
        Desktop desktop(config);
        vlcPlaysTheFirst(desktop);
        desktop.changed(":1.7", playing(track("/2", "Copper Wire")));
        if (each.nextAnswer) {
            EXPECT_TRUE(desktop.board.seen.empty()) << "told before its Next Up is known";
            desktop.bus().answer("GetTracksMetadata", *each.nextAnswer);
        }
        desktop.runUntil([&] { return !desktop.board.seen.empty(); });
        EXPECT_EQ(desktop.board.seen, each.seen);
    }
    Desktop desktop;
    vlcPlaysTheFirst(desktop);
    desktop.changed(":1.7", playing(track("/3", "Undertow")));
    EXPECT_EQ(desktop.board.seen, (std::vector<std::string>{"Undertow>"})) << "the last entry";
}

TEST(MprisBridgeStops, AStopBetweenTwoTracksIsNotShownARealOneIs) {
    struct Case {
        const char* what;
        std::vector<Dict> said;  // by VLC, after "Paper Boats" plays
        std::vector<std::string> seen;
    };
    const Case cases[] = {
        {"Next: stopped, then the new track plays",
         {{{"PlaybackStatus", "Stopped"}}, playing(track("/2", "Copper Wire"))},
         {"Copper Wire>Undertow"}},
        {"Next: stopped with the old tags, then the new track plays",
         {playing(track("/1", "Paper Boats"), "Stopped"), playing(track("/2", "Copper Wire"))},
         {"Copper Wire>Undertow"}},
        {"a real stop", {{{"PlaybackStatus", "Stopped"}}}, {"-"}},
        {"a pause is no stop",
         {{{"PlaybackStatus", "Paused"}}, {{"PlaybackStatus", "Stopped"}}},
         {"-"}},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        MprisBridgeConfig config = fastConfig();
        config.stopWait = 1ms;
        Desktop desktop(config);
        vlcPlaysTheFirst(desktop);
        for (const Dict& properties : each.said) desktop.changed(":1.7", properties);
        desktop.bus().answer("GetTracksMetadata",
                             reply({Value(Value::Array{dictValue(track("/3", "Undertow"))})}));
        desktop.runUntil([&] { return !desktop.board.seen.empty(); });
        EXPECT_EQ(desktop.board.seen, each.seen);
    }
}

TEST(MprisBridgeReplies, AnErrorIsNoAnswer) {
    // A player listed by the bus that is gone before its owner is asked.
    Desktop listing(fastConfig(), {"org.mpris.MediaPlayer2.vlc"});
    listing.bus().answer("GetNameOwner",
                         errorReply("org.freedesktop.DBus.Error.NameHasNoOwner", ":1.99"));
    EXPECT_FALSE(listing.bus().waits("GetAll")) << "the error's text taken for an owner";

    // Signals that say nothing readable change nothing.
    Desktop desktop;
    desktop.appear(":1.4", "org.mpris.MediaPlayer2.mpv", playing(track("/1", "Paper Boats")));
    desktop.board.seen.clear();
    desktop.bus().signal("NameOwnerChanged", reply({}));
    desktop.bus().signal("PropertiesChanged", reply({kPlayer, "Stopped", Value::Array{}}, ":1.4"));
    EXPECT_TRUE(desktop.board.seen.empty());
}

TEST(MprisBridgeFirstReading, AFailedReadingIsAskedAgain) {
    const Message failures[] = {
        errorReply("org.freedesktop.DBus.Error.UnknownObject"),  // its name before its object
        errorReply("org.freedesktop.DBus.Error.NoReply", "Method call timed out"),
        {"", "org.freedesktop.DBus.Error.Failed", {}},  // an error with no text
        reply({"not a dictionary"}),
    };
    for (const Message& failure : failures) {
        SCOPED_TRACE(failure.error);
        Desktop desktop;
        desktop.nameOwner("org.mpris.MediaPlayer2.vlc", "", ":1.7");
        desktop.bus().answer("GetAll", failure);
        desktop.bus().answer("Introspect", errorReply("org.freedesktop.DBus.Error.UnknownObject"));
        // Its changes meanwhile wait for the reading.
        desktop.changed(":1.7", playing(track("/1", "Paper Boats")));
        EXPECT_TRUE(desktop.board.seen.empty());
        ASSERT_TRUE(desktop.runUntil([&] { return desktop.bus().waits("GetAll"); }))
            << "its properties are not asked again";
        ASSERT_TRUE(desktop.runUntil([&] { return desktop.bus().waits("Introspect"); }))
            << "its interfaces are not asked again";
        desktop.bus().answer("GetAll", reply({dictValue(playing(track("/1", "Paper Boats")))}));
        desktop.bus().answer("Introspect", reply({kIntrospectionWithTrackList}));
        EXPECT_TRUE(desktop.bus().waits("Get Tracks"));
        EXPECT_EQ(desktop.board.seen, (std::vector<std::string>{"Paper Boats>"}));
    }

    // A player that goes while it is asked again is asked no more.
    Desktop desktop;
    desktop.nameOwner("org.mpris.MediaPlayer2.vlc", "", ":1.7");
    desktop.bus().answer("GetAll", errorReply("org.freedesktop.DBus.Error.UnknownObject"));
    desktop.nameOwner("org.mpris.MediaPlayer2.vlc", ":1.7", "");
    desktop.io.run();  // returns: nothing is left to wait for
    EXPECT_FALSE(desktop.bus().waits("GetAll"));
}

TEST(MprisBridgeBus, ALostBusIsOpenedAgainWhileTheBoardsWait) {
    Desktop desktop;
    desktop.appear(":1.4", "org.mpris.MediaPlayer2.mpv", playing(track("/1", "Paper Boats")));
    desktop.board.seen.clear();
    desktop.refuse[0] = true;  // the bus daemon is not back at first
    desktop.bus().goAway("the session bus went away: Connection reset by peer");
    EXPECT_EQ(desktop.board.seen, (std::vector<std::string>{"-"}));
    ASSERT_TRUE(desktop.runUntil([&] { return desktop.connects[0] >= 3; }));
    desktop.refuse[0] = false;
    ASSERT_TRUE(desktop.runUntil([&] { return desktop.connects[0] >= 4; }));
    ASSERT_TRUE(desktop.bus().waits("ListNames")) << "the new bus is not listened to";
    EXPECT_EQ(desktop.bus().matches.size(), 4u);
    desktop.bus().answer("ListNames", reply({Value(Value::Array{"org.mpris.MediaPlayer2.mpv"})}));
    desktop.bus().answer("GetNameOwner", reply({":1.9"}));
    desktop.bus().answer("GetAll", reply({dictValue(playing(track("/1", "Paper Boats")))}));
    EXPECT_EQ(desktop.board.seen, (std::vector<std::string>{"-", "Paper Boats>"}));
    EXPECT_EQ(
        desktop.logged("the session bus went away: Connection reset by peer; opening it again"),
        1u);
    EXPECT_EQ(desktop.logged("no session bus: refused; opening it again"), 1u)
        << "said once, tried twice";
    EXPECT_EQ(desktop.logged("the session bus is back"), 1u);
}

TEST(MprisBridgeFlood, TheSameNewsOverAndOverIsToldOnce) {
    Desktop desktop;
    vlcPlaysTheFirst(desktop);
    const std::size_t calls = desktop.bus().calls;
    const std::size_t waiting = desktop.bus().pending.size();
    for (int i = 0; i < 10000; ++i) {
        desktop.changed(":1.7", playing(track("/1", "Paper Boats")));
        desktop.bus().signal("Seeked", reply({std::int64_t(0)}, ":1.7"));
        desktop.bus().signal("TrackList", reply({}, ":1.7"));
        desktop.bus().answer("Get Tracks", reply({Value(Value::Array{"/1", "/2", "/3"})}));
    }
    EXPECT_TRUE(desktop.board.seen.empty());
    EXPECT_EQ(desktop.bus().calls - calls, 10000u) << "only the track list it was told changed";
    EXPECT_EQ(desktop.bus().pending.size(), waiting);
}

// The system bus (place 0) and the session bus (place 1): players on either are candidates, the
// usual choice applies, and a tie goes to the system bus.
TEST(MprisBridgeBuses, PlayersOnEitherBusAreCandidates) {
    struct Appearing {
        std::size_t on;
        std::string owner;
        std::string name;
        std::string status;
        std::string title;
    };
    struct Case {
        const char* what;
        std::vector<Appearing> players;  // in the order they appear
        std::string shown;
    };
    const std::string airplay = "org.mpris.MediaPlayer2.ShairportSync";
    const std::string vlc = "org.mpris.MediaPlayer2.vlc";
    const Case cases[] = {
        {"a player only on the system bus", {{0, ":1.3", airplay, "Playing", "S"}}, "S>"},
        {"one on each: the one that plays",
         {{0, ":1.3", airplay, "Paused", "S"}, {1, ":1.9", vlc, "Playing", "V"}},
         "V>"},
        {"one on each, both playing: the later",
         {{1, ":1.9", vlc, "Playing", "V"}, {0, ":1.3", airplay, "Playing", "S"}},
         "S>"},
        {"one on each, neither seen to start: the system bus's",
         {{1, ":1.9", vlc, "Paused", "V"}, {0, ":1.3", airplay, "Paused", "S"}},
         "S>"},
        {"the same unique name on each bus: two players",
         {{0, ":1.4", airplay, "Paused", "S"}, {1, ":1.4", vlc, "Playing", "V"}},
         "V>"},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        Desktop desktop(fastConfig(), {}, kSystemAndSession);
        std::string path = "/";
        for (const Appearing& player : each.players) {
            // Appended, not "/" + text: GCC 12's Release build warns falsely (-Wrestrict).
            path += "1";
            desktop.appear(player.owner, player.name,
                           playing(track(path, player.title), player.status), false, player.on);
        }
        EXPECT_EQ(view(*desktop.bridge), each.shown);
    }

    // A name that goes on one bus leaves the player of that name on the other.
    Desktop desktop(fastConfig(), {}, kSystemAndSession);
    desktop.appear(":1.4", airplay, playing(track("/1", "S")), false, 0);
    desktop.appear(":1.4", vlc, playing(track("/2", "V"), "Paused"), false, 1);
    desktop.nameOwner(vlc, ":1.4", "", 1);
    desktop.nameOwner(airplay, ":1.4", "", 1);  // not its bus: nothing goes
    EXPECT_EQ(view(*desktop.bridge), "S>");
    EXPECT_EQ(desktop.logged("following " + airplay + " on the system bus"), 1u);
}

TEST(MprisBridgeBuses, EachBusIsLostAndOpenedAgainOnItsOwn) {
    const std::string airplay = "org.mpris.MediaPlayer2.ShairportSync";
    Desktop desktop(fastConfig(), {}, kSystemAndSession);
    desktop.appear(":1.3", airplay, playing(track("/1", "Paper Boats")), false, 0);
    desktop.appear(":1.9", "org.mpris.MediaPlayer2.vlc", playing(track("/2", "Undertow"), "Paused"),
                   false, 1);
    desktop.board.seen.clear();

    // The session bus goes: what the system bus's player plays stays on the boards.
    desktop.bus(1).goAway("the session bus went away: Connection reset by peer");
    EXPECT_EQ(view(*desktop.bridge), "Paper Boats>");
    EXPECT_TRUE(desktop.board.seen.empty()) << "the boards were told of a change that is none";
    ASSERT_TRUE(desktop.runUntil([&] { return desktop.connects[1] == 2; }));
    desktop.bus(1).answer("ListNames", reply({Value(Value::Array{})}));

    // Then the system bus: the boards are shown nothing until it is back with its player, and the
    // session bus, which stays, is not opened again.
    desktop.refuse[0] = true;
    desktop.bus(0).goAway("the system bus went away: Connection reset by peer");
    EXPECT_EQ(desktop.board.seen, (std::vector<std::string>{"-"}));
    ASSERT_TRUE(desktop.runUntil([&] { return desktop.connects[0] == 3; }));
    desktop.refuse[0] = false;
    ASSERT_TRUE(desktop.runUntil([&] { return desktop.connects[0] == 4; }));
    desktop.bus(0).answer("ListNames", reply({Value(Value::Array{airplay})}));
    desktop.bus(0).answer("GetNameOwner", reply({":1.5"}));
    desktop.bus(0).answer("GetAll", reply({dictValue(playing(track("/1", "Paper Boats")))}));
    EXPECT_EQ(desktop.board.seen, (std::vector<std::string>{"-", "Paper Boats>"}));
    EXPECT_EQ(desktop.connects[1], 2);
    EXPECT_FALSE(desktop.bus(1).closed);
    for (const char* line :
         {"the session bus went away: Connection reset by peer; opening it again",
          "the session bus is back",
          "the system bus went away: Connection reset by peer; opening it again",
          "no system bus: refused; opening it again", "the system bus is back"})
        EXPECT_EQ(desktop.logged(line), 1u) << line;
}

TEST(MprisBridgeBuses, ABusThatDoesNotOpenAtTheStart) {
    // Neither opens: nothing to follow, and why, for each.
    try {
        Desktop desktop(fastConfig(), {}, kSystemAndSession, {true, true});
        ADD_FAILURE() << "no bus opened, and the bridge was made";
    } catch (const NoBus& error) {
        EXPECT_STREQ(error.what(), "no system bus: refused, no session bus: refused");
    }

    // One opens: its players are followed, and the other is tried until it opens.
    Desktop desktop(fastConfig(), {}, kSystemAndSession, {true, false});
    desktop.appear(":1.9", "org.mpris.MediaPlayer2.vlc", playing(track("/2", "Undertow")), false,
                   1);
    EXPECT_EQ(view(*desktop.bridge), "Undertow>");
    ASSERT_TRUE(desktop.runUntil([&] { return desktop.connects[0] == 3; }));
    desktop.refuse[0] = false;
    ASSERT_TRUE(desktop.runUntil([&] { return desktop.connects[0] == 4; }));
    EXPECT_TRUE(desktop.bus(0).waits("ListNames")) << "the bus that opened late is not listened to";
    EXPECT_EQ(desktop.bus(0).matches.size(), 4u);
    EXPECT_EQ(desktop.logged("no system bus: refused; opening it again"), 1u);
}

}  // namespace
}  // namespace velmora::jukebox::mpris
