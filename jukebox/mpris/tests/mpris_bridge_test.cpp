// SPDX-License-Identifier: MIT
// The bridge's decisions on a bus of the test's own: which player the boards are shown, what they
// are told and when, and what it does with errors, a lost bus and a flood.
#include <gtest/gtest.h>

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

class Desktop {
  public:
    // `listed`: the names the bus lists at the start.
    explicit Desktop(MprisBridgeConfig config = fastConfig(), std::vector<Value> listed = {}) {
        config.coverFolder = folder_.path();
        bridge = std::make_unique<MprisBridge>(
            io, config, [this](const std::string& line) { log.push_back(line); },
            [this](MessageBus::Lost lost) -> std::unique_ptr<MessageBus> {
                ++connects;
                if (refuse) throw NoSessionBus("no session bus: refused");
                auto bus = std::make_unique<FakeBus>(std::move(lost));
                bus_ = bus.get();
                return bus;
            });
        board.source = bridge.get();
        bridge->start(board);
        bus().answer("ListNames", reply({Value::Array(std::move(listed))}));
        board.seen.clear();
    }

    FakeBus& bus() { return *bus_; }

    void appear(const std::string& owner, const std::string& name, const Dict& properties,
                bool trackList = false) {
        nameOwner(name, "", owner);
        bus().answer("GetAll", reply({dictValue(properties)}), owner);
        bus().answer("Introspect",
                     reply({trackList ? kIntrospectionWithTrackList : kIntrospection}), owner);
    }
    void nameOwner(const std::string& name, const std::string& before, const std::string& after) {
        bus().signal("NameOwnerChanged", reply({name, before, after}, "org.freedesktop.DBus"));
    }
    void changed(const std::string& owner, const Dict& properties) {
        bus().signal("PropertiesChanged",
                     reply({kPlayer, dictValue(properties), Value::Array{}}, owner));
    }
    // Runs the loop until `done`, or gives up after many turns (the test then fails on its check).
    bool runUntil(const std::function<bool()>& done) {
        for (int turn = 0; turn < 4000 && !done(); ++turn) io.run_one_for(5ms);
        return done();
    }

    asio::io_context io;
    Board board;
    std::vector<std::string> log;
    int connects = 0;
    bool refuse = false;

  private:
    ::velmora::jukebox::testing::TempFolder folder_;
    FakeBus* bus_ = nullptr;

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
    desktop.refuse = true;  // the bus daemon is not back at first
    desktop.bus().goAway("the session bus went away: Connection reset by peer");
    EXPECT_EQ(desktop.board.seen, (std::vector<std::string>{"-"}));
    ASSERT_TRUE(desktop.runUntil([&] { return desktop.connects >= 3; }));
    desktop.refuse = false;
    ASSERT_TRUE(desktop.runUntil([&] { return desktop.connects >= 4; }));
    ASSERT_TRUE(desktop.bus().waits("ListNames")) << "the new bus is not listened to";
    EXPECT_EQ(desktop.bus().matches.size(), 4u);
    desktop.bus().answer("ListNames", reply({Value(Value::Array{"org.mpris.MediaPlayer2.mpv"})}));
    desktop.bus().answer("GetNameOwner", reply({":1.9"}));
    desktop.bus().answer("GetAll", reply({dictValue(playing(track("/1", "Paper Boats")))}));
    EXPECT_EQ(desktop.board.seen, (std::vector<std::string>{"-", "Paper Boats>"}));
    const auto logged = [&](const std::string& line) {
        return std::count(desktop.log.begin(), desktop.log.end(), line);
    };
    EXPECT_EQ(logged("the session bus went away: Connection reset by peer; opening it again"), 1);
    EXPECT_EQ(logged("no session bus: refused; opening it again"), 1) << "said once, tried twice";
    EXPECT_EQ(logged("the session bus is back"), 1);
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

}  // namespace
}  // namespace velmora::jukebox::mpris
