// SPDX-License-Identifier: MIT
// velmora2000: the now-playing board of a CD jukebox, as a screen saver for the Linux desktop.
// "/S" shows the board; "/C" the options; "/P" and anything else end at once. Run by XScreenSaver,
// it draws into the host's window.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "platform/qt/address_sanitizer.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/session_bus.h"
#include "platform/qt/signal_close.h"
#include "platform/qt/xscreensaver_host.h"
#include "shell/program.h"

int main(int argc, char** argv) {
    velmora::qt::noSessionBusOfOurOwn();
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora2000"));
    // The core says when the program ends, not the last window.
    QApplication::setQuitOnLastWindowClosed(false);
    velmora::qt::SignalClose closeOnSignal;  // SIGTERM, SIGINT, SIGHUP close the windows

    int exitCode = 0;
    {
        velmora::qt::QtPlatform platform(QCoreApplication::arguments());
        if (!velmora::qt::attachToScreenSaverHost(platform.ui, QCoreApplication::arguments()))
            std::_Exit(2);
        velmora::platform::Services services = platform.services();
        velmora::shell::runProgram(services, [&] {
            if (!platform.ui.finished()) QApplication::exec();
        });
        exitCode = platform.ui.exitCode();
    }
    // HACK: Qt 6.4 loads the whole fontconfig configuration while it tears the application down
    // (~QFontconfigDatabase), even when no text was ever drawn: a third of the CPU time of a "/P"
    // run. Everything of ours (windows, sockets, settings) is closed by now, so leave without it.
    std::fflush(nullptr);
    velmora::qt::checkLeaksNow();  // _Exit skips the check at exit
    std::_Exit(exitCode);
}
