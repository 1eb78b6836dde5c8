// SPDX-License-Identifier: MIT
// The pointer's display counter, the command line and the timers.
#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>

#include "platform/qt/qt_system.h"
#include "platform/qt/qt_timers.h"
#include "qt_test_util.h"

namespace velmora::qt {
namespace {

bool blankPointer() {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::BlankCursor;
}

// Like Windows' ShowCursor: each call moves the counter by one and returns it; the pointer shows
// while the counter is 0 or more.
TEST(Pointer, DisplayCounterCountsHidesAndShows) {
    struct Step {
        bool show;
        int counter;
        bool hidden;
    };
    const std::vector<Step> steps = {
        {false, -1, true}, {false, -2, true}, {true, -1, true},  {true, 0, false},
        {true, 1, false},  {false, 0, false}, {false, -1, true},
    };
    {
        QtSystem system(QStringList{"velmora2000"});
        for (size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(system.showCursor(steps[i].show), steps[i].counter) << "step " << i;
            EXPECT_EQ(system.pointerHidden(), steps[i].hidden) << "step " << i;
            EXPECT_EQ(blankPointer(), steps[i].hidden) << "step " << i;
        }
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the pointer is given back at exit";
}

TEST(CommandLine, ArgumentsAfterTheProgramJoinedBySpaces) {
    const std::vector<std::pair<QStringList, std::string>> cases = {
        {{"velmora2000", "/S"}, "/S"},
        {{"velmora2000", "/p", "99"}, "/p 99"},
        {{"velmora2000", "/c:5678"}, "/c:5678"},
        {{"velmora2000"}, ""},
        {{}, ""},
        {{"velmora2000", "/S", "Ünïcødé"}, "/S Ünïcødé"},
    };
    for (const auto& [arguments, expected] : cases)
        EXPECT_EQ(QtSystem(arguments).commandLine(), expected);
}

TEST(Timers, TickWhileEnabledAndNeverAtIntervalZero) {
    QtTimers timers;
    int fast = 0, zero = 0, off = 0;
    auto a = timers.createTimer(5, true, [&] { ++fast; });
    auto b = timers.createTimer(0, true, [&] { ++zero; });
    auto c = timers.createTimer(5, false, [&] { ++off; });
    EXPECT_TRUE(b->enabled());
    EXPECT_TRUE(test::waitUntil([&] { return fast >= 3; }));
    EXPECT_EQ(zero, 0);
    EXPECT_EQ(off, 0);

    a->setEnabled(false);
    c->setEnabled(true);
    const int before = fast;
    EXPECT_TRUE(test::waitUntil([&] { return off >= 3; }));
    EXPECT_EQ(fast, before);
}

}  // namespace
}  // namespace velmora::qt
