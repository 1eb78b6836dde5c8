// SPDX-License-Identifier: MIT
#include "platform/qt/qt_system.h"

#include <QCursor>
#include <QGuiApplication>

#include "platform/qt/file_lookup.h"
#include "platform/qt/process_launch.h"

namespace velmora::qt {

QtSystem::QtSystem(QStringList arguments) {
    if (!arguments.isEmpty()) arguments.removeFirst();
    commandLine_ = arguments.join(QLatin1Char(' ')).toStdString();
}

QtSystem::~QtSystem() {
    if (blankCursor_) QGuiApplication::restoreOverrideCursor();
}

int QtSystem::showCursor(bool show) {
    cursorCounter_ += show ? 1 : -1;
    const bool hide = cursorCounter_ < 0;
    if (hide && !blankCursor_)
        QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
    else if (!hide && blankCursor_)
        QGuiApplication::restoreOverrideCursor();
    blankCursor_ = hide;
    return cursorCounter_;
}

void QtSystem::setScreenSaverActive(bool active) {
    if (active)
        inhibitor_.release();
    else
        inhibitor_.inhibit();
}

std::string QtSystem::findFirstFile(const std::string& path) {
    return qt::findFirstFile(path);
}

std::unique_ptr<platform::Process> QtSystem::launch(const std::string& program,
                                                    const std::vector<std::string>& args) {
    return qt::launchProcess(program, args);
}

}  // namespace velmora::qt
