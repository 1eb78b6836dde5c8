// SPDX-License-Identifier: MIT
// The board inside a screen-saver host's window: the same conversation as "/S", scaled to the
// host's window, while the pointer, the input and the idle watch stay the host's.
#include <gtest/gtest.h>

#include "fake/fake_platform.h"
#include "shell/application.h"

namespace velmora {
namespace {

using fake::FakeLinkFactory;
using fake::FakePlatform;
using Lines = std::vector<std::string>;

struct BoardRun {
    FakePlatform platform;
    FakeLinkFactory links{platform};
    platform::Services services = platform.services();
    shell::Application app{services, links};

    BoardRun(std::string commandLine, bool hosted, int width = 640, int height = 400) {
        platform.hostWindow = hosted;
        resize(width, height);
        platform.commandLineText = std::move(commandLine);
        app.start();
        platform.runPosted();
    }

    void resize(int width, int height) {
        platform.screen = TwipSize{width * 15.0f, height * 15.0f};
        platform.desktop = PixelRect{0, 0, width, height};
    }

    // What the host would notice: link operations, the pointer, the idle watch, the placement.
    Lines outside() const {
        Lines out;
        for (const std::string& line : platform.log)
            for (const char* prefix :
                 {"Link", "ShowCursor", "SystemParametersInfo", "SetWindowPos", "Quit"})
                if (line.rfind(prefix, 0) == 0) out.push_back(line);
        return out;
    }
};

const Lines kStartUp = {
    "LinkOpen(cdj,type=devtx,1,1,0)",
    "LinkOpen(cdjr,type=devrx,1,1,0)",
    "LinkSend(cdj,notify_playing_item[on])",
    "LinkSend(cdj,notify_playing_timecode[on])",
    "LinkSend(cdj,echo[cdjon])",
    "SetWindowPos(Velmora,HWND_TOPMOST,0,0,640,400,SWP_SHOWWINDOW)",
};

const Lines kShutDown = {
    "LinkSend(cdj,notify_playing_item[off])",
    "LinkSend(cdj,notify_playing_timecode[off])",
    "LinkClose(cdj)",
    "LinkClose(cdjr)",
    "Quit",
};

TEST(HostWindow, TheHostsWindowWinsOverEveryCommandLine) {
    // XScreenSaver passes "--root"; older hosts "-root"; the window may come with any line.
    for (const char* line : {"--root", "-root", "-window-id 0x1234", "", "/S", "/C", "/P"}) {
        BoardRun run(line, true);
        EXPECT_EQ(run.outside(), kStartUp) << line;
        EXPECT_TRUE(run.platform.window("Velmora")->shown) << line;
        EXPECT_EQ(run.platform.window("SettingsForm"), nullptr) << line;
        EXPECT_EQ(run.platform.cursorCounter, 0) << line;
        EXPECT_TRUE(run.platform.screenSaverActive) << line;
    }
}

TEST(HostWindow, TheBoardIsScaledToTheHostsWindowAsToAScreenAndFollowsItsSize) {
    BoardRun hosted("--root", true);
    const auto expectLayoutOf = [&](BoardRun&& screen) {
        const Form& a = hosted.app.mainWindow()->form();
        const Form& b = screen.app.mainWindow()->form();
        ASSERT_EQ(a.count(), b.count());
        for (int i = 0; i < a.count(); ++i) {
            EXPECT_EQ(a[i].left, b[i].left) << a[i].name;
            EXPECT_EQ(a[i].top, b[i].top) << a[i].name;
            EXPECT_EQ(a[i].width, b[i].width) << a[i].name;
            EXPECT_EQ(a[i].height, b[i].height) << a[i].name;
            EXPECT_EQ(a[i].font.size, b[i].font.size) << a[i].name;
        }
    };
    expectLayoutOf(BoardRun("/S", false));
    // The settings program's preview grows, then shrinks back.
    for (auto [width, height] : {std::pair{1024, 768}, std::pair{640, 400}}) {
        hosted.resize(width, height);
        hosted.platform.log.clear();
        hosted.platform.window("Velmora")->events.hostResized();
        expectLayoutOf(BoardRun("/S", false, width, height));
        EXPECT_EQ(hosted.platform.calls("SetWindowPos"),
                  Lines{"SetWindowPos(Velmora,HWND_TOPMOST,0,0," + std::to_string(width) + "," +
                        std::to_string(height) + ",SWP_SHOWWINDOW)"});
    }
}

TEST(HostWindow, TheMouseEndsNothingAndTheHostsCloseShutsDown) {
    BoardRun run("--root", true);
    auto& board = run.platform.window("Velmora")->events;
    board.mouseMove(0, 0, 300, 300);
    board.mouseMove(0, 0, 900, 900);
    board.mouseDown(1, 0, 900, 900);
    run.platform.runPosted();
    EXPECT_FALSE(run.platform.quitCalled);
    EXPECT_EQ(run.platform.calls("LinkClose").size(), 0u);

    run.platform.log.clear();
    board.closeRequested();
    run.platform.runPosted();
    EXPECT_EQ(run.outside(), kShutDown);
    EXPECT_EQ(run.platform.cursorCounter, 0);
    EXPECT_TRUE(run.platform.screenSaverActive);
    EXPECT_TRUE(run.platform.windows.empty());
}

}  // namespace
}  // namespace velmora
