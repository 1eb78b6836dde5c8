// SPDX-License-Identifier: MIT
// The program as an XScreenSaver display mode: which window the host asks for, and signals that
// close the program's windows from the event loop.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTimer>
#include <csignal>

#include "display/board_design.h"
#include "platform/qt/qt_form_window.h"
#include "platform/qt/signal_close.h"
#include "platform/qt/xscreensaver_host.h"
#include "qt_test_util.h"

namespace velmora::qt {
namespace {

TEST(XScreenSaverHost, ArgumentsAndTheEnvironmentNameTheWindow) {
    struct Case {
        QStringList args;
        const char* env;
        const char* expected;  // "none", "root", a window id in decimal, or "error"
    } cases[] = {
        {{}, "", "none"},
        {{"/S"}, "", "none"},
        {{"--root"}, "", "root"},
        {{"-root"}, "", "root"},
        {{"--root"}, "0x2a00008", "44040200"},  // XScreenSaver 6: both
        {{}, "12345", "12345"},
        {{}, " 0x10 ", "16"},
        {{"-window-id", "0x1F"}, "", "31"},
        {{"--window-id", "77", "--root"}, "99", "77"},
        {{"-window-id", "010"}, "", "10"},  // decimal, as the host writes it
        {{"-window-id"}, "", "error"},
        {{"-window-id", "window"}, "", "error"},
        {{"-window-id", "0"}, "", "error"},
        {{"-window-id", "0x1ffffffff"}, "", "error"},
        {{"-window-id", "-5"}, "", "error"},
        {{}, "garbage", "error"},
    };
    for (const Case& c : cases) {
        const QStringList args = QStringList{"velmora2000"} + c.args;
        std::string got;
        try {
            const auto request = hostWindowRequest(args, QByteArray(c.env));
            got = !request ? "none" : request->root ? "root" : std::to_string(request->id);
        } catch (const std::invalid_argument&) {
            got = "error";
        }
        EXPECT_EQ(got, c.expected) << args.join(' ').toStdString() << " env=" << c.env;
    }
}

TEST(SignalClose, EachSignalReachesTheLoopAndTheOldHandlersComeBack) {
    std::vector<int> seen;
    {
        SignalClose close([&](int signal) { seen.push_back(signal); });
        for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::raise(signal);
        EXPECT_TRUE(seen.empty());  // nothing runs inside the handler
        test::waitUntil([&] { return seen.size() == 3; });
    }
    EXPECT_EQ(seen, (std::vector<int>{SIGTERM, SIGINT, SIGHUP}));
    struct sigaction now = {};
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST(SignalClose, AnOpenBoxIsEndedAndEveryFormWindowAskedToClose) {
    Form board = display::makeBoard();
    test::RecordedEvents events;
    QtFormWindow window(board, events, TwipScale{});
    SignalClose close;
    bool stuck = false;
    QMessageBox box(QMessageBox::NoIcon, "Velmora2000", "True", QMessageBox::Ok);
    QTimer giveUp;  // owned here, so that nothing of this test fires after it
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [&] {
        stuck = true;
        box.done(0);
    });
    giveUp.start(3000);
    ::raise(SIGTERM);  // read once the box's own loop runs
    box.exec();        // the board's release waits for this loop to return
    EXPECT_FALSE(stuck);
    EXPECT_EQ(events.lines, std::vector<std::string>{"close"});
}

}  // namespace
}  // namespace velmora::qt
