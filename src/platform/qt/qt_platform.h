// SPDX-License-Identifier: MIT
// Every service of the Linux backend in one place, as the program and the backend tests use them.
#pragma once

#include <QStringList>

#include "platform/qt/qt_choosers.h"
#include "platform/qt/qt_network.h"
#include "platform/qt/qt_pictures.h"
#include "platform/qt/qt_settings.h"
#include "platform/qt/qt_system.h"
#include "platform/qt/qt_timers.h"
#include "platform/qt/qt_ui.h"

namespace velmora::qt {

struct QtPlatform {
    // arguments: the program's, its own name first.
    explicit QtPlatform(QStringList arguments) : system(std::move(arguments)) {}

    // store: another settings store in place of the user's own (tests).
    platform::Services services(platform::SettingsStore* store = nullptr) {
        return platform::Services{ui,       timers,   system, store ? *store : settings,
                                  choosers, pictures, network};
    }

    QtUi ui;
    QtTimers timers;
    QtSystem system;
    QtSettingsStore settings;
    QtChoosers choosers;
    QtPictures pictures;
    QtNetwork network;
};

}  // namespace velmora::qt
