// SPDX-License-Identifier: MIT
// The board as one of XScreenSaver's display modes. The host runs a mode with the window to draw
// into in $XSCREENSAVER_WINDOW and "--root" ("-root" for older hosts) on its command line;
// "-window-id ID" names a window as well. The board then draws into that window, scaled to its
// size, instead of making a full-screen window of its own.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <optional>

namespace velmora::qt {

class QtUi;

struct HostWindowRequest {
    bool root = false;     // the root window of the display's screen
    unsigned long id = 0;  // otherwise this window
};

// What the arguments (the program's name first) and $XSCREENSAVER_WINDOW ask for; nullopt when the
// program runs on its own. "-window-id" wins over the variable, which wins over the root window.
// Throws std::invalid_argument when a window id is not a number (decimal or 0x hexadecimal).
std::optional<HostWindowRequest> hostWindowRequest(const QStringList& arguments,
                                                   const QByteArray& environmentWindow);

// Hands ui the host's window when the program runs as a display mode. False, after saying why on
// stderr, when the window asked for cannot be used.
bool attachToScreenSaverHost(QtUi& ui, const QStringList& arguments);

}  // namespace velmora::qt
