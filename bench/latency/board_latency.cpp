// SPDX-License-Identifier: MIT
// Loopback latency of the real board: from a service writing a "time" message to the board's
// ElapsedTime holding the new text. The service is a plain socket on its own thread; the board is
// the real Qt backend, link control and message handling on the UI thread. Prints the median, the
// 99th percentile and the worst case.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "display/board_design.h"
#include "link/socket_link.h"
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

}  // namespace

int main(int argc, char** argv) {
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
    velmora::platform::Services services = platform.services(&store);
    velmora::link::SocketLinkFactory links(services);
    velmora::shell::Application app(services, links);
    app.start();

    // The board's text is looked at from an idle timer: a change is seen within one loop turn.
    int last = 0;
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
        if (value == kMessages) QApplication::quit();
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
    std::fflush(nullptr);
    std::_Exit(0);
}
