// SPDX-License-Identifier: MIT
// The desktop's idle inhibit over D-Bus, against a stand-in screen saver on a private bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>

#include "platform/qt/screensaver_inhibitor.h"
#include "qt_test_util.h"

namespace velmora::qt {
namespace {

using test::waitUntil;

// org.freedesktop.ScreenSaver as a desktop offers it: Inhibit gives a cookie, UnInhibit takes it.
struct FakeScreenSaver final : QDBusVirtualObject {
    std::vector<std::string> calls;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        if (message.interface() != "org.freedesktop.ScreenSaver") return false;
        std::string call = message.member().toStdString();
        for (const QVariant& argument : message.arguments()) {
            call += ' ';
            call += argument.toString().toStdString();
        }
        calls.push_back(call);
        if (message.member() == "Inhibit")
            bus.send(message.createReply(QVariant::fromValue(std::uint32_t{42})));
        else
            bus.send(message.createReply());
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
};

struct PrivateBus {
    QProcess daemon;
    QString address;
    PrivateBus() {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (daemon.waitForReadyRead(5000)) address = QString(daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        daemon.kill();
        daemon.waitForFinished();
    }
    QDBusConnection connect(const QString& name) {
        return QDBusConnection::connectToBus(address, name);
    }
};

TEST(ScreenSaverInhibit, InhibitsAndGivesBackTheCookie) {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) GTEST_SKIP() << "no dbus-daemon";
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    QDBusConnection desktop = bus.connect("desktop");
    FakeScreenSaver saver;
    ASSERT_TRUE(desktop.registerService("org.freedesktop.ScreenSaver"));
    ASSERT_TRUE(desktop.registerVirtualObject("/org/freedesktop/ScreenSaver", &saver));

    ScreenSaverInhibitor inhibitor(bus.connect("board"));
    inhibitor.inhibit();
    inhibitor.inhibit();  // once is enough
    ASSERT_TRUE(waitUntil([&] { return inhibitor.inhibited(); }));
    inhibitor.release();
    ASSERT_TRUE(waitUntil([&] { return saver.calls.size() == 2; }));
    EXPECT_EQ(saver.calls[0], "Inhibit Velmora2000 Showing the now-playing board");
    EXPECT_EQ(saver.calls[1], "UnInhibit 42");
    EXPECT_FALSE(inhibitor.inhibited());

    // Given back before the answer came: the cookie is returned as soon as it arrives.
    inhibitor.inhibit();
    inhibitor.release();
    ASSERT_TRUE(waitUntil([&] { return saver.calls.size() == 4; }));
    EXPECT_EQ(saver.calls[3], "UnInhibit 42");
    EXPECT_FALSE(inhibitor.inhibited());

    QDBusConnection::disconnectFromBus("desktop");
    QDBusConnection::disconnectFromBus("board");
}

TEST(ScreenSaverInhibit, NothingHappensWithoutAScreenSaverOrABus) {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) GTEST_SKIP() << "no dbus-daemon";
    {
        PrivateBus bus;
        ScreenSaverInhibitor inhibitor(bus.connect("lonely"));
        inhibitor.inhibit();
        test::spin(200);
        EXPECT_FALSE(inhibitor.inhibited());
        inhibitor.release();
        QDBusConnection::disconnectFromBus("lonely");
    }
    ScreenSaverInhibitor unconnected(
        QDBusConnection::connectToBus("unix:path=/nonexistent", "none"));
    unconnected.inhibit();
    unconnected.release();
    EXPECT_FALSE(unconnected.inhibited());
    QDBusConnection::disconnectFromBus("none");
}

}  // namespace
}  // namespace velmora::qt
