// SPDX-License-Identifier: MIT
// The start-up sequence, the mode dispatch and the shutdown sequence of the now-playing window.
#include <gtest/gtest.h>

#include <algorithm>

#include "dialog/settings_form.h"
#include "display/board_design.h"
#include "fake/fake_platform.h"
#include "shell/application.h"

namespace velmora {
namespace {

using fake::FakeLinkFactory;
using fake::FakePlatform;
using Lines = std::vector<std::string>;

const Lines kStartUpLinks = {
    "LinkOpen(cdj,type=devtx,1,1,0)",
    "LinkOpen(cdjr,type=devrx,1,1,0)",
    "LinkSend(cdj,notify_playing_item[on])",
    "LinkSend(cdj,notify_playing_timecode[on])",
    "LinkSend(cdj,echo[cdjon])",
};

const Lines kShutDownLinks = {
    "LinkSend(cdj,notify_playing_item[off])",
    "LinkSend(cdj,notify_playing_timecode[off])",
    "LinkClose(cdj)",
    "LinkClose(cdjr)",
};

// The calls a test looks at, leaving out settings reads and window bookkeeping.
Lines shellCalls(const FakePlatform& p) {
    Lines out;
    for (const auto& line : p.log)
        if (line.rfind("Link", 0) == 0 || line.rfind("ShowCursor", 0) == 0 ||
            line.rfind("SystemParametersInfo", 0) == 0 || line.rfind("SetWindowPos", 0) == 0 ||
            line.rfind("GetWindowRect", 0) == 0 || line == "Quit")
            out.push_back(line);
    return out;
}

Lines concat(std::initializer_list<Lines> parts) {
    Lines out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Harness {
    FakePlatform platform;
    FakeLinkFactory links{platform};
    platform::Services services = platform.services();
    shell::Application app{services, links};

    explicit Harness(std::string commandLine) {
        platform.commandLineText = std::move(commandLine);
        app.start();
        platform.runPosted();
    }
};

TEST(RunMode, FirstTwoCharactersTrimmedAndUpperCased) {
    struct Case {
        const char* line;
        const char* mode;
    } cases[] = {
        {"/S", "/S"},    {"  /s  ", "/S"}, {"/S 1234", "/S"}, {"/c:5678", "/C"},
        {"/p 99", "/P"}, {"", ""},         {"   ", ""},       {"/X", "/X"},
        {"/Sxyz", "/S"}, {"s", "S"},       {"/", "/"},        {"\xC3\xA9t\xC3\xA9", "\xC3\xA9"},
        {"\t/S", "\t/"},
    };
    for (const auto& c : cases) EXPECT_EQ(shell::runModeOf(c.line), c.mode) << "[" << c.line << "]";
    EXPECT_EQ(shell::runModeOf(std::string(100000, ' ') + "/s" + std::string(100000, 'x')), "/S");
}

TEST(StartUp, ScreenSaverModeShowsTheBoardTopmostAtTheDesktopSize) {
    Harness h(" /s 1234 ");
    Lines expected = concat(
        {kStartUpLinks,
         {"ShowCursor(FALSE)", "GetWindowRect(GetDesktopWindow())",
          "SystemParametersInfo(SPI_SETSCREENSAVEACTIVE,0)",
          "SetWindowPos(Velmora,HWND_TOPMOST,0,0,1280,1024,SWP_SHOWWINDOW)", "ShowCursor(FALSE)"}});
    EXPECT_EQ(shellCalls(h.platform), expected);
    EXPECT_EQ(h.platform.cursorCounter, -2);
    EXPECT_FALSE(h.platform.screenSaverActive);
    ASSERT_NE(h.platform.window("Velmora"), nullptr);
    EXPECT_TRUE(h.platform.window("Velmora")->shown);
    EXPECT_FALSE(h.platform.quitCalled);
}

TEST(RunMode, KioskIsTheFirstWordOfTheCommandLine) {
    struct Case {
        const char* line;
        bool kiosk;
    } cases[] = {
        {"--kiosk", true},     {"  --kiosk  ", true}, {"--kiosk --anything", true},
        {"--kiosker", false},  {"--KIOSK", false},    {"-kiosk", false},
        {"/S --kiosk", false}, {"--kiosk\t", false},  {"", false},
        {"--", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shell::isKioskCommand(c.line), c.kiosk) << "[" << c.line << "]";
}

TEST(StartUp, KioskModeShowsTheBoardAsTheScreenSaverModeDoes) {
    for (const char* line : {"--kiosk", " --kiosk extra"}) {
        Harness kiosk(line);
        Harness saver("/S");
        EXPECT_EQ(shellCalls(kiosk.platform), shellCalls(saver.platform)) << line;
        EXPECT_EQ(kiosk.platform.cursorCounter, -2) << line;
        EXPECT_FALSE(kiosk.platform.screenSaverActive) << line;
        ASSERT_NE(kiosk.platform.window("Velmora"), nullptr) << line;
        EXPECT_TRUE(kiosk.platform.window("Velmora")->shown) << line;
        EXPECT_EQ(kiosk.platform.window("SettingsForm"), nullptr) << line;
    }
}

TEST(StartUp, DesktopSizeIsTakenFromItsRightAndBottomEdges) {
    FakePlatform p;
    p.desktop = PixelRect{-100, -50, 1920, 1080};
    p.commandLineText = "/S";
    FakeLinkFactory links(p);
    auto services = p.services();
    shell::Application app(services, links);
    app.start();
    EXPECT_EQ(p.calls("SetWindowPos"),
              Lines{"SetWindowPos(Velmora,HWND_TOPMOST,0,0,1920,1080,SWP_SHOWWINDOW)"});
}

TEST(StartUp, EveryOtherModeOpensThenShutsDownWithoutAWindow) {
    for (const char* line : {"/P", "/p 99", "", "/X", "S", "/Q /S"}) {
        Harness h(line);
        Lines expected = concat(
            {kStartUpLinks,
             {"ShowCursor(FALSE)"},
             kShutDownLinks,
             {"ShowCursor(TRUE)", "SystemParametersInfo(SPI_SETSCREENSAVEACTIVE,1)", "Quit"}});
        EXPECT_EQ(shellCalls(h.platform), expected) << "[" << line << "]";
        EXPECT_EQ(h.platform.cursorCounter, 0) << line;
        EXPECT_TRUE(h.platform.screenSaverActive) << line;
        EXPECT_TRUE(h.platform.calls("Show(").empty()) << line;
        EXPECT_TRUE(h.platform.windows.empty()) << line;
    }
}

TEST(StartUp, LinkResultsAreNotExaminedButMustFitSixteenBits) {
    {
        FakePlatform p;
        p.commandLineText = "/S";
        FakeLinkFactory links(p);
        auto services = p.services();
        shell::Application app(services, links);
        // Build the window, then make its link report failure before the load runs.
        app.start();
        EXPECT_TRUE(p.fatals.empty());
    }
    struct Case {
        std::int32_t result;
        bool fatal;
    } cases[] = {{-1, false}, {32767, false}, {-32768, false}, {32768, true}, {-32769, true}};
    for (const auto& c : cases) {
        FakePlatform p;
        p.commandLineText = "/S";
        struct ResultLinks : link::LinkFactory {
            FakePlatform& p;
            std::int32_t result;
            ResultLinks(FakePlatform& p, std::int32_t r) : p(p), result(r) {}
            std::unique_ptr<link::LinkControl> createLink() override {
                auto link = std::make_unique<fake::FakeLink>(p);
                link->result = result;
                return link;
            }
        } links(p, c.result);
        auto services = p.services();
        shell::Application app(services, links);
        app.start();
        EXPECT_EQ(!p.fatals.empty(), c.fatal) << c.result;
        if (c.fatal) {
            // The first open overflowed: nothing after it ran.
            EXPECT_EQ(p.calls("Link"), Lines{"LinkOpen(cdj,type=devtx,1,1,0)"});
        } else {
            EXPECT_EQ(p.calls("LinkSend").size(), 3u);
        }
    }
}

size_t indexOf(const Lines& log, const std::string& line) {
    return static_cast<size_t>(std::find(log.begin(), log.end(), line) - log.begin());
}

TEST(StartUp, ConfigurationModeShowsTheDialogThenDropsTheBoard) {
    for (const char* line : {"/C", "/c:1234", " /C 5678 "}) {
        Harness h(line);
        Lines expected =
            concat({kStartUpLinks,
                    {"ShowCursor(FALSE)"},
                    kShutDownLinks,
                    {"ShowCursor(TRUE)", "SystemParametersInfo(SPI_SETSCREENSAVEACTIVE,1)"}});
        EXPECT_EQ(shellCalls(h.platform), expected) << line;
        const Lines& log = h.platform.log;
        // The dialog loads and shows before the board's shutdown sequence runs.
        const size_t loaded = indexOf(log, "GetSetting(Velmora2000,Default_color,Background,0)");
        const size_t shown = indexOf(log, "Show(SettingsForm)");
        const size_t shutDown = indexOf(log, "LinkSend(cdj,notify_playing_item[off])");
        EXPECT_LT(loaded, shown) << line;
        EXPECT_LT(shown, shutDown) << line;
        EXPECT_LT(shutDown, log.size()) << line;
        EXPECT_EQ(h.platform.window("Velmora"), nullptr) << line;
        EXPECT_TRUE(h.platform.calls("Show(Velmora").empty()) << line;
        ASSERT_NE(h.platform.window("SettingsForm"), nullptr) << line;
        EXPECT_TRUE(h.platform.window("SettingsForm")->shown) << line;
        EXPECT_TRUE(h.platform.timers.empty()) << line;
        EXPECT_EQ(h.platform.cursorCounter, 0) << line;
        EXPECT_FALSE(h.platform.quitCalled) << line;
    }
}

TEST(StartUp, ConfigurationModeEndsWhenTheDialogCloses) {
    enum class How { Ok, Cancel, CloseBox };
    for (How how : {How::Ok, How::Cancel, How::CloseBox}) {
        Harness h("/C");
        auto& dialog = h.platform.window("SettingsForm")->events;
        if (how == How::Ok) dialog.clicked(dialog::Command1);
        if (how == How::Cancel) dialog.clicked(dialog::Command3);
        if (how == How::CloseBox) dialog.closeRequested();
        EXPECT_FALSE(h.platform.quitCalled);  // not under the running handler
        h.platform.runPosted();
        EXPECT_TRUE(h.platform.quitCalled);
        EXPECT_TRUE(h.platform.windows.empty());
        EXPECT_EQ(h.platform.calls("SaveSetting").size(), how == How::Ok ? 11u : 0u);
        EXPECT_EQ(h.platform.window("SettingsForm"), nullptr);
    }
}

TEST(StartUp, ConfigurationModeWithAnUnreadableStoreReportsBeforeShowingTheDialog) {
    struct BrokenStore final : platform::SettingsStore {
        std::string read(const std::string&, const std::string&, const std::string& key,
                         const std::string& fallback) override {
            if (key == "Name") throw Failure(ErrorCode::PermissionDenied, "Permission denied");
            return fallback;
        }
        void write(const std::string&, const std::string&, const std::string&,
                   const std::string&) override {}
    } store;
    FakePlatform p;
    p.commandLineText = "/C";
    FakeLinkFactory links(p);
    platform::Services services{p, p, p, store, p, p, p};
    shell::Application app(services, links);
    app.start();
    EXPECT_EQ(p.fatals, Lines{"Permission denied"});
    EXPECT_TRUE(p.calls("Show(").empty());
}

TEST(Dismissal, AnyMouseButtonEndsTheBoardWithTheShutdownSequence) {
    for (int button : {1, 2, 4}) {
        Harness h("/S");
        h.platform.log.clear();
        h.platform.window("Velmora")->events.mouseDown(button, 0, 4000, 3000);
        h.platform.runPosted();
        Lines expected = concat(
            {kShutDownLinks,
             {"ShowCursor(TRUE)", "SystemParametersInfo(SPI_SETSCREENSAVEACTIVE,1)", "Quit"}});
        EXPECT_EQ(shellCalls(h.platform), expected);
        EXPECT_EQ(h.platform.cursorCounter, -1);
        EXPECT_TRUE(h.platform.windows.empty());
    }
}

TEST(Dismissal, MouseMovesCompareWithTheFirstRecordedPosition) {
    struct Case {
        const char* name;
        std::vector<std::pair<float, float>> moves;
        bool ends;
    } cases[] = {
        {"first move ends nothing", {{500, 700}}, false},
        {"same place twice", {{500, 700}, {500, 700}}, false},
        {"one pixel right", {{500, 700}, {515, 700}}, true},
        {"one pixel down", {{500, 700}, {500, 715}}, true},
        {"away and back between events", {{500, 700}, {500, 700}, {500, 700}}, false},
        {"(0,0) is not a recorded position", {{0, 0}, {300, 300}}, false},
        {"after (0,0) the next one is the anchor", {{0, 0}, {300, 300}, {300, 315}}, true},
        {"(0,Y) is recorded", {{0, 45}, {0, 45}}, false},
        {"(0,Y) then elsewhere", {{0, 45}, {15, 45}}, true},
        {"(X,0) then elsewhere", {{45, 0}, {45, 15}}, true},
        {"anchor never replaced", {{100, 100}, {100, 100}, {200, 200}}, true},
    };
    for (const auto& c : cases) {
        Harness h("/S");
        for (auto [x, y] : c.moves)
            if (auto* w = h.platform.window("Velmora")) w->events.mouseMove(0, 0, x, y);
        h.platform.runPosted();
        EXPECT_EQ(h.platform.quitCalled, c.ends) << c.name;
        EXPECT_EQ(h.platform.calls("LinkClose").size(), c.ends ? 2u : 0u) << c.name;
    }
}

TEST(Dismissal, InKioskModeNoMouseOrTouchEndsTheBoardButACloseDoes) {
    Harness h("--kiosk");
    ASSERT_NE(h.platform.window("Velmora"), nullptr);
    auto& board = h.platform.window("Velmora")->events;
    for (auto [x, y] :
         {std::pair{500.0f, 700.0f}, {515.0f, 700.0f}, {0.0f, 0.0f}, {9000.0f, 15.0f}})
        board.mouseMove(0, 0, x, y);
    for (int button : {1, 2, 4}) board.mouseDown(button, 0, 4000, 3000);
    h.platform.runPosted();
    EXPECT_FALSE(h.platform.quitCalled);
    EXPECT_TRUE(h.platform.calls("LinkClose").empty());
    EXPECT_EQ(h.platform.cursorCounter, -2);

    h.platform.log.clear();
    board.closeRequested();  // a signal, or the compositor closing the window
    h.platform.runPosted();
    EXPECT_EQ(
        shellCalls(h.platform),
        concat({kShutDownLinks,
                {"ShowCursor(TRUE)", "SystemParametersInfo(SPI_SETSCREENSAVEACTIVE,1)", "Quit"}}));
    EXPECT_TRUE(h.platform.windows.empty());
}

TEST(Dismissal, CloseByTheDesktopRunsTheSameSequenceOnce) {
    Harness h("/S");
    auto& events = h.platform.window("Velmora")->events;
    events.closeRequested();
    events.mouseDown(1, 0, 0, 0);  // already on its way out
    h.platform.runPosted();
    EXPECT_EQ(h.platform.calls("LinkClose"), (Lines{"LinkClose(cdj)", "LinkClose(cdjr)"}));
    EXPECT_EQ(h.platform.calls("ShowCursor(TRUE)").size(), 1u);
}

TEST(Dismissal, AFailingSendAbandonsTheRestAndReportsIt) {
    Harness h("/S");
    h.links.links[0]->sendFailures.push_back(ErrorCode::PermissionDenied);
    h.platform.window("Velmora")->events.mouseDown(1, 0, 0, 0);
    h.platform.runPosted();
    EXPECT_EQ(h.platform.fatals.size(), 1u);
    EXPECT_TRUE(h.platform.calls("LinkClose").empty());
    EXPECT_FALSE(h.platform.screenSaverActive);  // step 6 never ran
}

TEST(Dismissal, NotifyTimerStopsWithTheWindow) {
    Harness h("/S");
    h.platform.window("Velmora")->events.mouseDown(1, 0, 0, 0);
    h.platform.runPosted();
    EXPECT_TRUE(h.platform.timers.empty());
}

TEST(BoardDesign, ControlsStartAsDesigned) {
    Form f = display::makeBoard();
    ASSERT_EQ(f.count(), display::ControlCount);
    const Control& artist = f[display::Artist];
    EXPECT_EQ(artist.name, "Artist");
    EXPECT_EQ(artist.text, "Artist");
    EXPECT_EQ(artist.font.weight, 700);
    EXPECT_FLOAT_EQ(artist.font.size, 21.75f);
    EXPECT_EQ(artist.foreColour, rgb(192, 192, 0));
    const Control& elapsed = f[display::ElapsedTime];
    EXPECT_EQ(elapsed.text, "");
    EXPECT_EQ(elapsed.foreColour, rgb(0, 192, 0));
    EXPECT_EQ(f[display::Label1].foreColour, rgb(192, 192, 192));
    // The time columns mirror each other about the board's middle line.
    float middle = 240 + 11655 / 2.0f;
    EXPECT_FLOAT_EQ(middle - f[display::ElapsedTime].left,
                    f[display::TotalTime].left + f[display::TotalTime].width - middle);
    const Control& image = f[display::CDImage];
    EXPECT_EQ(image.kind, ControlKind::Picture);
    EXPECT_EQ(image.width, image.height);
    EXPECT_FALSE(f[display::List1].visible);
    EXPECT_FALSE(f[display::List1].enabled);
    for (int i = 0; i < f.count(); ++i) {
        if (f[i].kind == ControlKind::Label || f[i].kind == ControlKind::TextField) {
            EXPECT_EQ(f[i].backColour, 0) << f[i].name;
        }
    }
}

TEST(BoardDesign, TwoLinkControlsAreCreatedAndOnlyTheFirstIsUsed) {
    Harness h("/S");
    ASSERT_EQ(h.links.links.size(), 2u);
    auto timers = h.platform.timers;
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(timers[0]->interval(), 5000);
    EXPECT_TRUE(timers[0]->enabled());
}

}  // namespace
}  // namespace velmora
