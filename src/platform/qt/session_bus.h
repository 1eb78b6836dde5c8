// SPDX-License-Identifier: MIT
// The session bus the board talks on (the desktop's screen saver, Qt's accessibility): the one the
// session names, else the user's bus in the runtime folder, else none. Never one of its own:
// libdbus, given no address, runs "dbus-launch --autolaunch", which makes the start wait for it
// and, with dbus-x11 installed, leaves a bus daemon behind for every board.
#pragma once

namespace velmora::qt {

// Call before anything touches the bus (before QApplication): where the session has no bus, it
// names one that cannot be reached, so that every connection fails at once and starts nothing.
void noSessionBusOfOurOwn();

}  // namespace velmora::qt
