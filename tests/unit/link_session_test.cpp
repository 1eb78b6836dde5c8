// SPDX-License-Identifier: MIT
// Whole runs of the program over the socket link: what the jukebox service receives.
#include <gtest/gtest.h>

#include "fake/fake_platform.h"
#include "link/socket_link.h"
#include "shell/application.h"

namespace velmora {
namespace {

using fake::FakePlatform;

const std::string kStartUp =
    "VELMORA-LINK 1\n"
    "OPEN cdj type=devtx\n"
    "OPEN cdjr type=devrx\n"
    "SEND cdj notify_playing_item[on]\n"
    "SEND cdj notify_playing_timecode[on]\n"
    "SEND cdj echo[cdjon]\n";
const std::string kShutDown =
    "SEND cdj notify_playing_item[off]\n"
    "SEND cdj notify_playing_timecode[off]\n"
    "CLOSE cdj\n"
    "CLOSE cdjr\n";

struct Session {
    FakePlatform platform;
    platform::Services services = platform.services();
    link::SocketLinkFactory links{services};
    shell::Application app{services, links};

    explicit Session(std::string commandLine) { platform.commandLineText = std::move(commandLine); }
};

TEST(LinkSession, APreviewRunReachesTheServiceBeforeTheProgramEnds) {
    Session run("/p 1234");
    run.app.start();
    run.platform.runPosted();  // the main window and its link controls are released
    EXPECT_TRUE(run.platform.quitCalled);
    EXPECT_EQ(run.platform.calls("Connect"), std::vector<std::string>{"Connect(127.0.0.1:47321)"});
    EXPECT_EQ(run.platform.calls("FinishSocket"), std::vector<std::string>{"FinishSocket(300)"});
    ASSERT_EQ(run.platform.goneSockets.size(), 1u);  // the spare control never had one
    EXPECT_EQ(run.platform.goneSockets[0], kStartUp + kShutDown);
}

TEST(LinkSession, TheBoardHearsTheServiceAgainAfterItRestarts) {
    Session run("/S");
    run.app.start();
    ASSERT_EQ(run.platform.sockets.size(), 1u);
    auto& socket = *run.platform.sockets[0];
    socket.acceptConnection();
    socket.deliver("VELMORA-LINK 1 jukebox\nMSG cdjr echo[cdjon]\n");
    EXPECT_EQ(socket.written, kStartUp);
    EXPECT_EQ(run.app.mainWindow()->state().echoReceived(), true);

    socket.drop();
    run.platform.advance(link::SocketLink::kFirstRetryMs);
    ASSERT_TRUE(socket.connecting);
    socket.acceptConnection();
    socket.deliver("VELMORA-LINK 1 jukebox\n");
    EXPECT_EQ(socket.written, kStartUp + kStartUp);

    run.app.mainWindow()->mouseDown(1, 0, 0, 0);
    EXPECT_EQ(socket.written, kStartUp + kStartUp + kShutDown);
    run.platform.runPosted();
    EXPECT_TRUE(run.platform.quitCalled);
    EXPECT_EQ(run.platform.calls("FinishSocket").size(), 1u);
}

}  // namespace
}  // namespace velmora
