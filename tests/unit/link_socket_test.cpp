// SPDX-License-Identifier: MIT
// The link control over the fake socket: connection, queue, back-off, handshake, restore after a
// reconnect, messages and results.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake/fake_platform.h"
#include "link/socket_link.h"

namespace velmora::link {
namespace {

using fake::FakePlatform;
using fake::FakeSocket;
using Lines = std::vector<std::string>;

const std::string kHello = "VELMORA-LINK 1\n";
const std::string kServiceHello = "VELMORA-LINK 1 test service\n";

const std::string kStartUpLines =
    "OPEN cdj type=devtx\n"
    "OPEN cdjr type=devrx\n"
    "SEND cdj notify_playing_item[on]\n"
    "SEND cdj notify_playing_timecode[on]\n"
    "SEND cdj echo[cdjon]\n";

struct Harness {
    FakePlatform platform;
    platform::Services services = platform.services();
    std::unique_ptr<SocketLink> link = std::make_unique<SocketLink>(services);
    std::string tx = "cdj";
    std::string rx = "cdjr";
    Lines messages;

    Harness() {
        link->onLinkMessage([this](std::string& endpoint, std::string& message) {
            messages.push_back(endpoint + "|" + message);
        });
    }

    FakeSocket& socket() {
        EXPECT_EQ(platform.sockets.size(), 1u);
        return *platform.sockets.at(0);
    }
    std::int32_t send(const std::string& command) { return link->LinkSend(tx, command); }
    void startUp() {
        link->LinkOpen(tx, "type=devtx", 1, 1, 0);
        link->LinkOpen(rx, "type=devrx", 1, 1, 0);
        send("notify_playing_item[on]");
        send("notify_playing_timecode[on]");
        send("echo[cdjon]");
    }
    void shutDown() {
        send("notify_playing_item[off]");
        send("notify_playing_timecode[off]");
        link->LinkClose(tx);
        link->LinkClose(rx);
    }
    // Accepts the pending connect and greets; returns what the control wrote on this connection.
    std::string connectAndGreet() {
        const std::size_t before = socket().written.size();
        EXPECT_TRUE(socket().connecting);
        socket().acceptConnection();
        socket().deliver(kServiceHello);
        return socket().written.substr(before);
    }
    // Lets fake time pass until the control connects again; the time it took.
    long long untilReconnect(long long limit = 60000) {
        const int attempts = socket().connectAttempts;
        const long long start = platform.now;
        while (socket().connectAttempts == attempts && platform.now - start < limit)
            platform.advance(1);
        return platform.now - start;
    }
};

TEST(SocketLink, ConnectsAtTheFirstOperationAndSendsTheQueueAfterTheHandshake) {
    Harness h;
    EXPECT_TRUE(h.platform.sockets.empty());
    h.startUp();
    EXPECT_EQ(h.platform.calls("Connect"), Lines{"Connect(127.0.0.1:47321)"});
    EXPECT_EQ(h.socket().written, "");

    h.socket().acceptConnection();
    EXPECT_EQ(h.socket().written, kHello);  // nothing else until the service has answered
    h.send("playlist_getpointer");
    h.socket().deliver("VELMORA-LINK 1 te");
    EXPECT_EQ(h.socket().written, kHello);
    h.socket().deliver("st\n");
    EXPECT_EQ(h.socket().written, kHello + kStartUpLines + "SEND cdj playlist_getpointer\n");

    h.shutDown();
    EXPECT_EQ(h.socket().written, kHello + kStartUpLines +
                                      "SEND cdj playlist_getpointer\n"
                                      "SEND cdj notify_playing_item[off]\n"
                                      "SEND cdj notify_playing_timecode[off]\n"
                                      "CLOSE cdj\nCLOSE cdjr\n");
}

TEST(SocketLink, AddressComesFromTheSettingsStore) {
    struct Case {
        const char* host;  // nullptr: not stored
        const char* port;
        const char* expected;
    } cases[] = {
        {nullptr, nullptr, "Connect(127.0.0.1:47321)"},
        {"jukebox.local", "5000", "Connect(jukebox.local:5000)"},
        {"::1", "65535", "Connect(::1:65535)"},
        {"", "", "Connect(127.0.0.1:47321)"},
        {nullptr, "0", "Connect(127.0.0.1:47321)"},
        {nullptr, "65536", "Connect(127.0.0.1:47321)"},
        {nullptr, "-1", "Connect(127.0.0.1:47321)"},
        {nullptr, "80x", "Connect(127.0.0.1:47321)"},
        {nullptr, " 80", "Connect(127.0.0.1:47321)"},
    };
    for (const auto& c : cases) {
        Harness h;
        if (c.host) h.platform.store[{"Slinkx", "Service", "Host"}] = c.host;
        if (c.port) h.platform.store[{"Slinkx", "Service", "Port"}] = c.port;
        h.startUp();
        EXPECT_EQ(h.platform.calls("Connect"), Lines{c.expected}) << c.expected;
        EXPECT_EQ(h.platform.calls("GetSetting"),
                  (Lines{"GetSetting(Slinkx,Service,Host,127.0.0.1)",
                         "GetSetting(Slinkx,Service,Port,47321)"}));
    }
}

TEST(SocketLink, AnUnusedControlNeverConnectsAndRejectedOperationsDoNotConnect) {
    FakePlatform p;
    auto services = p.services();
    SocketLinkFactory factory(services);
    {
        auto slinkx = factory.createLink();
        auto slinkx1 = factory.createLink();
        std::string tx = "cdj", bad = "a b";
        EXPECT_EQ(slinkx1->LinkOpen(bad, "type=devtx", 1, 1, 0), kLinkBadEndpoint);
        EXPECT_EQ(slinkx1->LinkSend(tx, "echo[cdjon]"), kLinkNotOpen);
        EXPECT_EQ(slinkx1->LinkClose(tx), kLinkNotOpen);
        EXPECT_TRUE(p.sockets.empty());
        EXPECT_TRUE(p.timers.empty());
        EXPECT_EQ(slinkx->LinkOpen(tx, "type=devtx", 1, 1, 0), kLinkAccepted);
        EXPECT_EQ(p.sockets.size(), 1u);
    }
    // Only the used control finished its socket.
    EXPECT_EQ(p.calls("Connect").size(), 1u);
    EXPECT_EQ(p.calls("FinishSocket"), Lines{"FinishSocket(300)"});
    EXPECT_TRUE(p.calls("GetSetting").size() == 2u);
}

TEST(SocketLink, ResultsOfRejectedOperationsAreSmallNegativeNumbers) {
    Harness h;
    h.link->LinkOpen(h.tx, "type=devtx", 1, 1, 0);
    std::string empty, spaced = "c dj", control = "c\x01", long65(65, 'e'), notUtf8 = "\xFF",
                       other = "other";
    const std::string nul("a\0b", 3);
    const std::string tooLong(link::kMaxLineBytes, 'x');
    const std::string longest(link::kMaxLineBytes - std::string("SEND cdj ").size(), 'x');
    struct Case {
        const char* what;
        std::int32_t result;
        std::int32_t expected;
    } cases[] = {
        {"open, empty name", h.link->LinkOpen(empty, "", 1, 1, 0), kLinkBadEndpoint},
        {"open, space", h.link->LinkOpen(spaced, "", 1, 1, 0), kLinkBadEndpoint},
        {"open, control", h.link->LinkOpen(control, "", 1, 1, 0), kLinkBadEndpoint},
        {"open, 65 bytes", h.link->LinkOpen(long65, "", 1, 1, 0), kLinkBadEndpoint},
        {"open, not UTF-8", h.link->LinkOpen(notUtf8, "", 1, 1, 0), kLinkBadEndpoint},
        {"open, LF in options", h.link->LinkOpen(other, "a\nb", 1, 1, 0), kLinkBadText},
        {"open, long options", h.link->LinkOpen(other, tooLong, 1, 1, 0), kLinkLineTooLong},
        {"send, CR", h.send("echo\r"), kLinkBadText},
        {"send, LF", h.send("echo\nSEND cdj injected"), kLinkBadText},
        {"send, NUL", h.send(nul), kLinkBadText},
        {"send, not UTF-8", h.send("\xC3"), kLinkBadText},
        {"send, too long", h.send(longest + "x"), kLinkLineTooLong},
        {"send, longest", h.send(longest), kLinkAccepted},
        {"send, empty", h.send(""), kLinkAccepted},
        {"send, not open", h.link->LinkSend(other, "x"), kLinkNotOpen},
        {"send, bad name", h.link->LinkSend(spaced, "x"), kLinkBadEndpoint},
        {"close, not open", h.link->LinkClose(other), kLinkNotOpen},
        {"close, bad name", h.link->LinkClose(empty), kLinkBadEndpoint},
        {"open again", h.link->LinkOpen(h.tx, "type=devtx", 1, 1, 0), kLinkAccepted},
        {"close", h.link->LinkClose(h.tx), kLinkAccepted},
        {"close twice", h.link->LinkClose(h.tx), kLinkNotOpen},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.result, c.expected) << c.what;
        EXPECT_NO_THROW(toInt16(c.result)) << c.what;
    }

    // Nothing rejected reached the wire.
    h.connectAndGreet();
    EXPECT_EQ(h.socket().written, kHello + "OPEN cdj type=devtx\nSEND cdj " + longest +
                                      "\nSEND cdj \nOPEN cdj type=devtx\nCLOSE cdj\n");
}

TEST(SocketLink, TooManyEndpointsAreRefused) {
    Harness h;
    std::vector<std::string> names;
    for (std::size_t i = 0; i <= SocketLink::kMaxEndpoints; ++i)
        // Appended, not "e" + to_string(i): GCC 12 warns falsely (-Wrestrict) on the prepend.
        names.push_back(std::string("e").append(std::to_string(i)));
    for (std::size_t i = 0; i < SocketLink::kMaxEndpoints; ++i)
        EXPECT_EQ(h.link->LinkOpen(names[i], "", 1, 1, 0), kLinkAccepted);
    EXPECT_EQ(h.link->LinkOpen(names.back(), "", 1, 1, 0), kLinkTooManyEndpoints);
    EXPECT_EQ(h.link->LinkClose(names[0]), kLinkAccepted);
    EXPECT_EQ(h.link->LinkOpen(names.back(), "", 1, 1, 0), kLinkAccepted);
}

TEST(SocketLink, RetriesWithGrowingPausesWhileTheServiceIsAbsent) {
    Harness h;
    h.startUp();
    std::vector<long long> attempts = {h.platform.now};
    h.socket().refuse();
    while (h.platform.now < 120000) {
        h.platform.advance(1);
        if (h.socket().connecting) {
            attempts.push_back(h.platform.now);
            h.socket().refuse();
        }
    }
    const std::vector<long long> expected = {0,     250,   750,   1750,  3750,  7750,  15750,
                                             30750, 45750, 60750, 75750, 90750, 105750};
    EXPECT_EQ(attempts, expected);
    EXPECT_EQ(h.socket().written, "");
    EXPECT_EQ(h.platform.timers.size(), 1u);

    // The service comes up: everything queued since the start goes, in order.
    EXPECT_EQ(h.untilReconnect(), 750);  // the next try is due at 120750
    EXPECT_EQ(h.connectAndGreet(), kHello + kStartUpLines);
}

TEST(SocketLink, AConnectOrHandshakeWithoutAnswerTimesOut) {
    Harness h;
    h.startUp();
    h.platform.advance(SocketLink::kConnectTimeoutMs - 1);
    EXPECT_TRUE(h.socket().connecting);
    h.platform.advance(1);
    EXPECT_FALSE(h.socket().connecting);
    EXPECT_EQ(h.untilReconnect(), SocketLink::kFirstRetryMs);

    // Connected, but the peer never says who it is.
    h.socket().acceptConnection();
    h.platform.advance(SocketLink::kConnectTimeoutMs);
    EXPECT_FALSE(h.socket().open);
    EXPECT_EQ(h.untilReconnect(), 2 * SocketLink::kFirstRetryMs);
    EXPECT_EQ(h.connectAndGreet(), kHello + kStartUpLines);
}

TEST(SocketLink, AServiceThatDoesNotSpeakVersionOneIsLeftAndRetriedLater) {
    for (const char* answer :
         {"ERROR unsupported protocol\n", "VELMORA-LINK 2 new\n", "VELMORA-LINK 10\n",
          "HTTP/1.1 400 Bad Request\r\n", "MSG cdjr playing too early\n"}) {
        Harness h;
        h.startUp();
        h.socket().acceptConnection();
        h.socket().deliver(std::string(answer) + kServiceHello + "MSG cdjr late\n");
        EXPECT_FALSE(h.socket().open) << answer;
        EXPECT_EQ(h.socket().written, kHello) << answer;  // the queue stays for the next try
        EXPECT_TRUE(h.messages.empty()) << answer;
        EXPECT_EQ(h.untilReconnect(), SocketLink::kFirstRetryMs) << answer;
        EXPECT_EQ(h.connectAndGreet(), kHello + kStartUpLines) << answer;
    }
}

TEST(SocketLink, AfterALossTheEndpointsAndLastNotificationRequestsAreRestored) {
    Harness h;
    h.startUp();
    h.connectAndGreet();
    h.send("playlist_getpointer");       // answered once, not repeated
    h.send("notify_playing_item[off]");  // replaces the "on" and moves behind echo
    h.send("echo[cdjon]");               // the same echo, once
    std::string extra = "spare";
    h.link->LinkOpen(extra, "type=devtx", 1, 1, 0);
    h.link->LinkSend(extra, "notify_playing_item[on]");  // another endpoint's own request
    h.link->LinkClose(extra);                            // gone, with its requests
    h.socket().deliver("MSG cdjr half a li");
    h.socket().drop();

    // While it is away: a command and a new endpoint wait behind the restore.
    h.send("playlist_getitem[4]");
    std::string late = "late";
    h.link->LinkOpen(late, "type=devrx", 1, 1, 0);

    EXPECT_EQ(h.untilReconnect(), SocketLink::kFirstRetryMs);
    EXPECT_EQ(h.connectAndGreet(), kHello +
                                       "OPEN cdj type=devtx\n"
                                       "OPEN cdjr type=devrx\n"
                                       "SEND cdj notify_playing_timecode[on]\n"
                                       "SEND cdj notify_playing_item[off]\n"
                                       "SEND cdj echo[cdjon]\n"
                                       "SEND cdj playlist_getitem[4]\n"
                                       "OPEN late type=devrx\n");
    // The half line of the old connection is not glued to the new one.
    h.socket().deliver("MSG cdjr whole\n");
    EXPECT_EQ(h.messages, Lines{"cdjr|whole"});
}

TEST(SocketLink, OnlyASteadyConnectionResetsThePause) {
    Harness h;
    h.startUp();
    h.connectAndGreet();
    // A service that greets and hangs up at once is called less and less often.
    std::vector<long long> pauses;
    for (int i = 0; i < 5; ++i) {
        h.socket().drop();
        pauses.push_back(h.untilReconnect());
        h.connectAndGreet();
    }
    EXPECT_EQ(pauses, (std::vector<long long>{250, 500, 1000, 2000, 4000}));

    h.platform.advance(SocketLink::kSteadyMs - 1);
    h.socket().drop();
    EXPECT_EQ(h.untilReconnect(), 8000);
    h.connectAndGreet();
    h.platform.advance(SocketLink::kSteadyMs);
    h.socket().drop();
    EXPECT_EQ(h.untilReconnect(), SocketLink::kFirstRetryMs);
}

TEST(SocketLink, AfterTheShutdownNothingIsRestored) {
    Harness h;
    h.startUp();
    h.connectAndGreet();
    h.shutDown();
    h.socket().drop();
    h.untilReconnect();
    EXPECT_EQ(h.connectAndGreet(), kHello);
}

TEST(SocketLink, MessagesAreRaisedVerbatimAndOtherLinesIgnored) {
    Harness h;
    h.startUp();
    h.socket().acceptConnection();
    h.socket().deliver(kServiceHello +
                       "MSG cdjr playing Artist\",\"T\xC3\xADtulo & more\",\"Album\r\n"
                       "ERROR no such endpoint\n"
                       "NEWVERB whatever\n"
                       "MSG cdjr \n"
                       "MSG cdj echo[cdjon]\n"
                       "MSG other  two spaces \n"
                       "MSG cdjr bad\xFF\n"
                       "MSG cdjr " +
                       std::string(link::kMaxLineBytes, 'x') + "\nMSG cdjr time 0:0");
    h.socket().deliver("7\n");
    EXPECT_EQ(h.messages, (Lines{"cdjr|playing Artist\",\"T\xC3\xADtulo & more\",\"Album", "cdjr|",
                                 "cdj|echo[cdjon]", "other| two spaces ", "cdjr|time 0:07"}));
}

TEST(SocketLink, AMessageSupersedesOnlyTheOneJustBeforeItThroughTheSameEndpoint) {
    Harness h;
    h.link = std::make_unique<SocketLink>(
        h.services, [](std::string_view, std::string_view older, std::string_view newer) {
            return older.starts_with('t') && newer.starts_with('t');
        });
    h.link->onLinkMessage([&](std::string& endpoint, std::string& message) {
        h.messages.push_back(endpoint + "|" + message);
    });
    h.startUp();
    h.socket().acceptConnection();
    h.socket().deliver(kServiceHello +
                       "MSG cdjr t1\nMSG cdjr t2\nMSG cdjr p1\nMSG cdjr t3\nMSG cdj t4\n"
                       "MSG cdjr t5\nMSG cdjr t6\n");
    h.socket().deliver("MSG cdjr t7\n");  // the earlier ones were raised already
    EXPECT_EQ(h.messages, (Lines{"cdjr|t2", "cdjr|p1", "cdjr|t3", "cdj|t4", "cdjr|t6", "cdjr|t7"}));
}

TEST(SocketLink, AHandlerMaySendAndNeverRunsInsideAnotherMessage) {
    Harness h;
    h.startUp();
    h.connectAndGreet();
    int depth = 0, deepest = 0;
    Lines seen;
    h.link->onLinkMessage([&](std::string&, std::string& message) {
        ++depth;
        deepest = std::max(deepest, depth);
        seen.push_back(message);
        if (message == "playing x") {
            h.send("playlist_getpointer");
            // A nested event loop (a modal box) delivers more data meanwhile.
            h.socket().deliver("MSG cdjr playlist_pointer 3\n");
        }
        if (message == "playlist_pointer 3") h.send("playlist_getitem[4]");
        --depth;
    });
    const std::size_t before = h.socket().written.size();
    h.socket().deliver("MSG cdjr playing x\nMSG cdjr time 0:01\n");
    EXPECT_EQ(seen, (Lines{"playing x", "time 0:01", "playlist_pointer 3"}));
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(h.socket().written.substr(before),
              "SEND cdj playlist_getpointer\nSEND cdj playlist_getitem[4]\n");
}

TEST(SocketLink, MessagesHeldByANestedLoopAreBounded) {
    Harness h;
    h.startUp();
    h.connectAndGreet();
    const std::string text(1000, 'm');
    int raised = 0;
    std::string last;
    h.link->onLinkMessage([&](std::string&, std::string& message) {
        ++raised;
        last = message;
        if (message == "first")
            for (int i = 0; i < 3000; ++i)
                h.socket().deliver("MSG cdjr " + text + std::to_string(i) + "\n");
    });
    h.socket().deliver("MSG cdjr first\n");
    EXPECT_LE(raised, 1 + static_cast<int>(SocketLink::kMaxInboxBytes / 1000));
    EXPECT_GT(raised, 500);
    EXPECT_EQ(last, text + "2999");  // the newest survive
}

TEST(SocketLink, AServiceThatStopsReadingIsTreatedAsGone) {
    Harness h;
    h.startUp();
    h.connectAndGreet();
    h.socket().pending = SocketLink::kMaxPendingBytes + 1;
    EXPECT_EQ(h.send("playlist_getpointer"), kLinkAccepted);
    EXPECT_FALSE(h.socket().open);
    h.socket().pending = 0;
    EXPECT_EQ(h.untilReconnect(), SocketLink::kFirstRetryMs);
    EXPECT_EQ(h.connectAndGreet(), kHello + kStartUpLines);
}

TEST(SocketLink, AnOverflowingQueueFallsBackToTheRestoredState) {
    Harness h;
    h.startUp();
    const std::string filler = "playlist_getitem[" + std::string(1000, '9') + "]";
    for (int i = 0; i < 100; ++i) EXPECT_EQ(h.send(filler), kLinkAccepted);  // ~100 KB
    h.send("echo[cdjon]");
    h.send("notify_playing_item[off]");
    EXPECT_EQ(h.connectAndGreet(), kHello +
                                       "OPEN cdj type=devtx\n"
                                       "OPEN cdjr type=devrx\n"
                                       "SEND cdj notify_playing_timecode[on]\n"
                                       "SEND cdj echo[cdjon]\n"
                                       "SEND cdj notify_playing_item[off]\n");
}

TEST(SocketLink, AShortRunHandsItsQueueToTheConnectingSocketOnDestruction) {
    Harness h;
    h.startUp();
    h.shutDown();
    h.link.reset();
    EXPECT_EQ(h.platform.calls("FinishSocket"), Lines{"FinishSocket(300)"});
    ASSERT_EQ(h.platform.goneSockets.size(), 1u);
    EXPECT_EQ(h.platform.goneSockets[0], kHello + kStartUpLines +
                                             "SEND cdj notify_playing_item[off]\n"
                                             "SEND cdj notify_playing_timecode[off]\n"
                                             "CLOSE cdj\nCLOSE cdjr\n");
}

TEST(SocketLink, DestructionWaitsOnlyForALiveConnection) {
    {
        Harness h;  // connected, before the service's answer: the queue goes out pipelined
        h.startUp();
        h.socket().acceptConnection();
        h.link.reset();
        EXPECT_EQ(h.platform.calls("FinishSocket").size(), 1u);
        EXPECT_EQ(h.platform.goneSockets.at(0), kHello + kStartUpLines);
    }
    {
        Harness h;  // connected and greeted
        h.startUp();
        h.connectAndGreet();
        h.shutDown();
        h.link.reset();
        EXPECT_EQ(h.platform.calls("FinishSocket").size(), 1u);
    }
    {
        Harness h;  // the service is absent: waiting for the next try, nothing to wait for
        h.startUp();
        h.socket().refuse();
        h.shutDown();
        h.link.reset();
        EXPECT_TRUE(h.platform.calls("FinishSocket").empty());
        EXPECT_EQ(h.platform.goneSockets.at(0), "");
    }
}

}  // namespace
}  // namespace velmora::link
