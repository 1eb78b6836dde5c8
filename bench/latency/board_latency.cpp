// SPDX-License-Identifier: MIT
// Loopback latency of the real board: from a service writing a "time" message to the board's
// ElapsedTime holding the new text. The service is a plain socket on its own thread; the board is
// the real Qt backend, link control and message handling on the UI thread. Prints the median, the
// 99th percentile and the worst case.
// With --slow-cover, a new track comes every second with a metafile cover that a stand-in helper
// takes 3 s to draw, so a helper is always drawing; at the end a second mouse move ends the board
// while one still draws, and the time from that move to the board's window gone is printed too.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "display/board_design.h"
#include "link/socket_link.h"
#include "platform/qt/qt_form_window.h"
#include "platform/qt/qt_platform.h"
#include "shell/application.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kMessages = 2000;

class MemoryStore final : public velmora::platform::SettingsStore {
  public:
    std::string read(const std::string& a, const std::string& s, const std::string& k,
                     const std::string& fallback) override {
        auto it = values.find({a, s, k});
        return it == values.end() ? fallback : it->second;
    }
    void write(const std::string& a, const std::string& s, const std::string& k,
               const std::string& v) override {
        values[{a, s, k}] = v;
    }
    std::map<std::tuple<std::string, std::string, std::string>, std::string> values;
};

void writeAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

// A metafile cover (the placeable header is all the board looks at) and a helper that takes 3 s
// to draw it as a red square.
struct SlowCover {
    QTemporaryDir folder;
    QString cover = folder.filePath("slow.wmf"), helper = folder.filePath("helper");
    SlowCover() {
        QImage red(7, 7, QImage::Format_RGB32);
        red.fill(Qt::red);
        red.save(folder.filePath("red.png"));
        QFile wmf(cover), script(helper);
        wmf.open(QIODevice::WriteOnly);
        wmf.write(QByteArray("\xD7\xCD\xC6\x9A", 4) + QByteArray(18, '\0'));
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\nsleep 3\ncat '" + folder.filePath("red.png").toUtf8() + "'\n");
        script.setPermissions(script.permissions() | QFile::ExeOwner);
    }
    std::string track(int i) const {
        return "MSG cdjr playing[\"Al\",\"Ar\",\"T" + std::to_string(i) + "\",\"3:00\",\"" +
               cover.toStdString() + "\",\"7\",\"\"]\n";
    }
};

void moveMouse(QWidget* window, QPointF at) {
    QMouseEvent event(QEvent::MouseMove, at, window->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(window, &event);
}

}  // namespace

int main(int argc, char** argv) {
    const bool slow = argc > 1 && std::string(argv[1]) == "--slow-cover";
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication qtApp(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("listen");
        return 1;
    }

    std::optional<SlowCover> cover;
    if (slow) cover.emplace();
    std::vector<Clock::time_point> sent(kMessages + 1);
    std::vector<Clock::time_point> seen(kMessages + 1);
    std::thread service([&] {
        int fd = ::accept(listener, nullptr, nullptr);
        std::thread drain([fd] {  // the board's commands are read and dropped
            char buffer[4096];
            while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
            }
        });
        writeAll(fd, "VELMORA-LINK 1 latency probe\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        for (int i = 1; i <= kMessages; ++i) {
            if (slow && i % 500 == 1) writeAll(fd, cover->track(i));
            std::string line = "MSG cdjr time[" + std::to_string(i) + "]\n";
            sent[static_cast<size_t>(i)] = Clock::now();
            writeAll(fd, line);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::shutdown(fd, SHUT_RDWR);
        drain.join();
        ::close(fd);
    });

    MemoryStore store;
    store.write("Slinkx", "Service", "Port", std::to_string(ntohs(address.sin_port)));
    velmora::qt::QtPlatform platform(QStringList{"velmora2000", "/S"});
    velmora::qt::MetafileLimits patient;  // the stand-in's 3 s are not cut short
    patient.wallMs = 10000;
    velmora::qt::QtPictures slowPictures(slow ? cover->helper : QString(), {1280, 1024}, patient);
    const velmora::platform::Services own = platform.services(&store);
    velmora::platform::Services services{own.ui,       own.timers,
                                         own.system,   own.settings,
                                         own.choosers, slow ? slowPictures : own.pictures,
                                         own.network};
    velmora::link::SocketLinkFactory links(services);
    velmora::shell::Application app(services, links);
    app.start();

    // The board's text is looked at from an idle timer: a change is seen within one loop turn.
    int last = 0;
    Clock::time_point moved, gone;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const std::string& text = app.mainWindow()->form()[velmora::display::ElapsedTime].text;
        if (text.empty()) return;
        int value = std::atoi(text.c_str());
        if (value != last && value > 0 && value <= kMessages) {
            seen[static_cast<size_t>(value)] = Clock::now();
            last = value;
        }
        if (value != kMessages) return;
        watch.stop();
        if (!slow) return QApplication::quit();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* board = dynamic_cast<velmora::qt::QtFormWindow*>(w)) {
                QObject::connect(board, &QObject::destroyed, [&] {
                    gone = Clock::now();
                    QApplication::quit();
                });
                moveMouse(board, {5, 5});
                moved = Clock::now();
                moveMouse(board, {9, 9});
                return;
            }
    });
    watch.start();
    QTimer::singleShot(30000, [] { QApplication::quit(); });
    QApplication::exec();
    service.join();

    std::vector<double> microseconds;
    for (int i = 1; i <= kMessages; ++i)
        if (seen[static_cast<size_t>(i)] != Clock::time_point{})
            microseconds.push_back(std::chrono::duration<double, std::micro>(
                                       seen[static_cast<size_t>(i)] - sent[static_cast<size_t>(i)])
                                       .count());
    if (microseconds.empty()) {
        std::puts("no time code reached the board");
        return 1;
    }
    std::sort(microseconds.begin(), microseconds.end());
    auto at = [&](double q) {
        return microseconds[static_cast<size_t>(q * (microseconds.size() - 1))];
    };
    std::printf("time codes seen: %zu of %d\nlatency: median %.0f us, p99 %.0f us, max %.0f us\n",
                microseconds.size(), kMessages, at(0.5), at(0.99), microseconds.back());
    if (slow && gone != Clock::time_point{})
        std::printf("board gone %.1f ms after the move that ended it, a cover still drawing\n",
                    std::chrono::duration<double, std::milli>(gone - moved).count());
    std::fflush(nullptr);
    std::_Exit(0);
}
