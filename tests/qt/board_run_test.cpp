// SPDX-License-Identifier: MIT
// The whole program on the Qt backend against a jukebox service on loopback: what the service
// hears, the full-screen window, and its dismissal.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "display/board_design.h"
#include "link/socket_link.h"
#include "picture_bytes.h"
#include "platform/qt/qt_form_window.h"
#include "platform/qt/qt_platform.h"
#include "qt_test_util.h"
#include "shell/application.h"

namespace velmora::qt {
namespace {

using Lines = std::vector<std::string>;
using test::waitUntil;

const Lines kStartUp = {
    "VELMORA-LINK 1",
    "OPEN cdj type=devtx",
    "OPEN cdjr type=devrx",
    "SEND cdj notify_playing_item[on]",
    "SEND cdj notify_playing_timecode[on]",
    "SEND cdj echo[cdjon]",
};
const Lines kShutDown = {
    "SEND cdj notify_playing_item[off]",
    "SEND cdj notify_playing_timecode[off]",
    "CLOSE cdj",
    "CLOSE cdjr",
};

Lines concat(const Lines& a, const Lines& b) {
    Lines out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// A jukebox service that greets every client and keeps every line it hears, in order.
struct Service {
    QTcpServer server;
    Lines heard;
    int connections = 0;
    QTcpSocket* client = nullptr;  // the latest
    Service() {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            client = server.nextPendingConnection();
            ++connections;
            QObject::connect(client, &QTcpSocket::readyRead, [this, client = client] {
                while (client->canReadLine()) {
                    heard.push_back(client->readLine().trimmed().toStdString());
                    if (heard.back() == "VELMORA-LINK 1") client->write("VELMORA-LINK 1 test\n");
                }
            });
        });
    }
    void say(const std::string& message) {
        client->write(QByteArray::fromStdString("MSG cdjr " + message + "\n"));
    }
};

// Counts the windows that were ever shown.
struct ShowWatch final : QObject {
    int shown = 0;
    ShowWatch() { qApp->installEventFilter(this); }
    ~ShowWatch() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow())
            ++shown;
        return false;
    }
};

QtFormWindow* boardWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = dynamic_cast<QtFormWindow*>(w)) return window;
    return nullptr;
}

// The program as main() puts it together, on a 1280 x 1024 desktop, talking to `service`.
struct Program {
    Service service;
    QTemporaryDir folder;
    QtSettingsStore store{folder.path()};
    QtPlatform platform;
    test::DesktopUi desktop{platform.ui, 1280, 1024};
    platform::Services services;
    link::SocketLinkFactory links{services};
    shell::Application app{services, links};

    explicit Program(const QString& commandLine, platform::Pictures* pictures = nullptr)
        : platform(QStringList{"velmora2000", commandLine}),
          services(test::withUi(platform.services(&store), desktop, pictures)) {
        store.write("Slinkx", "Service", "Port", std::to_string(service.server.serverPort()));
    }
    bool heard(const Lines& lines) {
        return waitUntil([&] { return service.heard.size() >= lines.size(); }) &&
               service.heard == lines;
    }
};

void sendMouse(QWidget* target, QEvent::Type type, QPointF at, Qt::MouseButton button) {
    QMouseEvent event(type, at, target->mapToGlobal(at), button, button, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

TEST(BoardRun, ScreenSaverFillsTheDesktopOnTopAndEndsOnAPress) {
    Program program("/S");
    program.app.start();

    QtFormWindow* window = boardWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), QRect(0, 0, 1280, 1024));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(program.platform.system.cursorCounter(), -2);
    EXPECT_TRUE(program.platform.system.pointerHidden());
    ASSERT_TRUE(program.heard(kStartUp)) << program.service.heard.size();

    sendMouse(window, QEvent::MouseButtonPress, {3, 3}, Qt::LeftButton);
    ASSERT_TRUE(program.heard(concat(kStartUp, kShutDown))) << program.service.heard.size();
    EXPECT_TRUE(waitUntil([&] { return program.platform.ui.finished(); }));
    EXPECT_EQ(program.platform.ui.exitCode(), 0);
    EXPECT_EQ(boardWindow(), nullptr);
    EXPECT_EQ(program.platform.system.cursorCounter(), -1);
    EXPECT_EQ(program.service.connections, 1) << "only Slinkx talks; Slinkx1 stays silent";
}

// Each way out of the board runs the same shutdown.
TEST(BoardRun, MovesAndTheCloseBoxEndTheBoardToo) {
    const std::vector<std::pair<std::string, std::function<void(QtFormWindow*)>>> ways = {
        {"a move one pixel from the first",
         [](QtFormWindow* w) {
             sendMouse(w, QEvent::MouseMove, {5, 5}, Qt::NoButton);
             sendMouse(w, QEvent::MouseMove, {5, 5}, Qt::NoButton);
             test::spin(20);
             ASSERT_NE(boardWindow(), nullptr) << "the first position and a repeat end nothing";
             sendMouse(w, QEvent::MouseMove, {6, 5}, Qt::NoButton);
         }},
        {"the close box", [](QtFormWindow* w) { w->close(); }},
        {"a right click",
         [](QtFormWindow* w) {
             sendMouse(w, QEvent::MouseButtonPress, {700, 1000}, Qt::RightButton);
         }},
    };
    for (const auto& [name, dismiss] : ways) {
        SCOPED_TRACE(name);
        Program program("  /s 1234 ");
        program.app.start();
        ASSERT_TRUE(program.heard(kStartUp));
        QtFormWindow* window = boardWindow();
        ASSERT_NE(window, nullptr);
        dismiss(window);
        EXPECT_TRUE(program.heard(concat(kStartUp, kShutDown)));
        EXPECT_TRUE(waitUntil([&] { return program.platform.ui.finished(); }));
        EXPECT_EQ(boardWindow(), nullptr);
    }
}

// Preview and anything else: the service still hears the whole conversation, no window shows,
// and the program ends by itself.
TEST(BoardRun, PreviewEndsAtOnceWithoutAWindow) {
    for (const QString& commandLine : {QString("/P 99"), QString(""), QString("/X")}) {
        SCOPED_TRACE(commandLine.toStdString());
        ShowWatch watch;
        Program program(commandLine);
        program.app.start();
        EXPECT_TRUE(program.heard(concat(kStartUp, kShutDown)));
        EXPECT_TRUE(waitUntil([&] { return program.platform.ui.finished(); }));
        EXPECT_EQ(program.platform.ui.exitCode(), 0);
        EXPECT_EQ(watch.shown, 0);
        EXPECT_EQ(boardWindow(), nullptr);
        EXPECT_EQ(program.platform.system.cursorCounter(), 0);
    }
}

// A cover the metafile helper is still drawing holds nothing up: the board goes on counting, a
// later track's cover shows and stays when the slow one comes after it, and a move ends the board
// while the helper still draws. The helper draws only once the test lets it, so each of these is
// seen to come first by order, whatever the machine's load (bench/latency has the times).
TEST(BoardRun, ASlowPictureHoldsNothingUp) {
    QTemporaryDir dir;
    QImage red(7, 7, QImage::Format_RGB32), blue(5, 5, QImage::Format_RGB32);
    red.fill(Qt::red);
    blue.fill(Qt::blue);
    ASSERT_TRUE(red.save(dir.filePath("red.png")) && blue.save(dir.filePath("blue.jpg")));
    const QString go = dir.filePath("go"), runs = dir.filePath("runs");
    QFile slow(dir.filePath("slow.wmf")), helper(dir.filePath("helper"));
    ASSERT_TRUE(slow.open(QIODevice::WriteOnly) && helper.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QDir().mkdir(runs));
    slow.write(testing::wmfRedBlue());
    // It can write no file, only make empty ones: one for each run, named for its process.
    helper.write("#!/bin/sh\ntouch '" + runs.toUtf8() + "'/$$\nwhile [ ! -e '" + go.toUtf8() +
                 "' ]; do sleep 0.01; done\ncat '" + dir.filePath("red.png").toUtf8() + "'\n");
    slow.close();
    helper.close();
    helper.setPermissions(helper.permissions() | QFile::ExeOwner);
    const auto letDraw = [&](bool draw) {
        QFile file(go);
        return draw ? file.open(QIODevice::WriteOnly) : file.remove();
    };
    const auto helperRuns = [&] { return QDir(runs).entryList(QDir::Files).size(); };
    const auto track = [](const QString& title, const QString& picture) {
        return "playing[\"Al\",\"Ar\",\"" + title.toStdString() + "\",\"3:00\",\"" +
               picture.toStdString() + "\",\"7\",\"\"]";
    };

    MetafileLimits patient;  // the helper waits for the test, not for a clock
    patient.wallMs = 60000;
    QtPictures pictures(helper.fileName(), {1280, 1024}, patient);
    Program program("/S", &pictures);
    program.app.start();
    ASSERT_TRUE(program.heard(kStartUp));
    const Form& form = program.app.mainWindow()->form();
    const auto shownWidth = [&] {
        const PictureRef& picture = form[display::CDImage].picture;
        return picture ? picture->width() : 0;
    };

    program.service.say(track("Slow", slow.fileName()));
    ASSERT_TRUE(waitUntil([&] { return helperRuns() == 1; }));
    for (const std::string time : {"0:01", "0:02", "0:03"}) {
        program.service.say("time[" + time + "]");
        EXPECT_TRUE(waitUntil([&] { return form[display::ElapsedTime].text == time; })) << time;
    }
    EXPECT_EQ(form[display::Title].text, "Slow");
    program.service.say(track("Next", dir.filePath("blue.jpg")));
    EXPECT_TRUE(waitUntil([&] { return shownWidth() == 5; }));
    ASSERT_TRUE(letDraw(true));
    test::spin(1000);
    EXPECT_EQ(shownWidth(), 5) << "the cover of the track before came late and was shown";

    ASSERT_TRUE(letDraw(false));
    QtFormWindow* window = boardWindow();
    ASSERT_NE(window, nullptr);
    Lines order;
    QObject::connect(window, &QObject::destroyed, [&] { order.push_back("board gone"); });
    sendMouse(window, QEvent::MouseMove, {5, 5}, Qt::NoButton);
    program.service.say(track("Slow again", slow.fileName()));
    ASSERT_TRUE(waitUntil([&] { return helperRuns() == 2; }));
    ASSERT_TRUE(order.empty()) << "the first position ended the board";
    order.push_back("second move");
    sendMouse(window, QEvent::MouseMove, {9, 9}, Qt::NoButton);
    EXPECT_TRUE(waitUntil([&] { return program.platform.ui.finished(); }));
    EXPECT_EQ(form[display::Title].text, "Slow again");
    EXPECT_EQ(order, (Lines{"second move", "board gone"})) << "the board waited for the helper";
    letDraw(true);
}

}  // namespace
}  // namespace velmora::qt
