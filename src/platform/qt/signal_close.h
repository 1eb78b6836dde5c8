// SPDX-License-Identifier: MIT
// SIGTERM, SIGINT and SIGHUP close the program's windows, as the desktop closing them would: the
// board unloads with its whole shutdown sequence and the program ends with status 0. A screen-saver
// host ends its display modes with SIGTERM, and a terminal with SIGINT or SIGHUP.
//
// The handler only writes the signal's number into a pipe; the close itself runs on the UI thread
// when the event loop reads it. One instance at a time; it restores the previous handlers when it
// goes.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace velmora::qt {

class SignalClose final : public QObject {
  public:
    // onSignal runs on the UI thread with the signal's number; by default closeProgramWindows.
    explicit SignalClose(std::function<void(int)> onSignal = {});
    ~SignalClose() override;

    SignalClose(const SignalClose&) = delete;
    SignalClose& operator=(const SignalClose&) = delete;

  private:
    void drain();

    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void(int)> onSignal_;
};

// Ends what holds the program in a nested loop (a message box, a chooser) and asks each of its
// windows to close, as the desktop's close box does.
void closeProgramWindows();

}  // namespace velmora::qt
