// SPDX-License-Identifier: MIT
// The screen, the posted tasks and the end of the program.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "platform/qt/qt_ui.h"
#include "qt_test_util.h"

namespace velmora::qt {
namespace {

// CTest runs this once more on a screen at 100,50 (offset_screen.json), which it names in
// VELMORA_OFFSET_SCREEN.
TEST(Ui, DesktopRectEndsAtTheRightAndBottomEdges) {
    QtUi ui;
    const QRect g = qEnvironmentVariableIsSet("VELMORA_OFFSET_SCREEN")
                        ? QRect(100, 50, 800, 600)
                        : QGuiApplication::primaryScreen()->geometry();
    const PixelRect r = ui.desktopRect();
    EXPECT_EQ(std::vector<int>({r.left, r.top, r.right, r.bottom}),
              std::vector<int>({g.x(), g.y(), g.x() + g.width(), g.y() + g.height()}));
}

TEST(Ui, ScreenSizeInTwipsAtTheScreensDpi) {
    QtUi ui;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen->logicalDotsPerInchX();
    EXPECT_DOUBLE_EQ(ui.scale().perPixelX, 1440.0 / dpi);
    const TwipSize size = ui.screenSize();
    EXPECT_FLOAT_EQ(size.width, static_cast<float>(screen->geometry().width() * 1440.0 / dpi));
    EXPECT_FLOAT_EQ(size.height, static_cast<float>(screen->geometry().height() * 1440.0 /
                                                    screen->logicalDotsPerInchY()));
}

TEST(Ui, PostedTasksRunLaterInOrder) {
    QtUi ui;
    std::string ran;
    ui.post([&] {
        ran += "a";
        ui.post([&] { ran += "c"; });
    });
    ui.post([&] { ran += "b"; });
    EXPECT_EQ(ran, "");
    EXPECT_TRUE(test::waitUntil([&] { return ran.size() == 3; }));
    EXPECT_EQ(ran, "abc");
}

// The program may end before its event loop runs; a failure's exit code outlives a later quit.
TEST(Ui, AFailureEndsTheProgramWithCodeOne) {
    QtUi quiet;
    quiet.quit();
    EXPECT_TRUE(quiet.finished());
    EXPECT_EQ(quiet.exitCode(), 0);

    QtUi ui;
    EXPECT_FALSE(ui.finished());
    testing::internal::CaptureStderr();
    ui.reportFatal("SCRNSAVE:Sample Screen Saver", "Overflow: 70000 is not a 16-bit value");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "velmora2000: Overflow: 70000 is not a 16-bit value\n");
    EXPECT_TRUE(ui.finished());
    EXPECT_EQ(ui.exitCode(), 1);
    ui.quit();
    EXPECT_EQ(ui.exitCode(), 1);
}

}  // namespace
}  // namespace velmora::qt
