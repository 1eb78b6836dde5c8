// SPDX-License-Identifier: MIT
#include "platform/qt/signal_close.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>

#include "platform/services.h"

namespace velmora::qt {
namespace {

constexpr std::array kSignals = {SIGTERM, SIGINT, SIGHUP};

// The handler's only state: where it writes. Set while a SignalClose lives.
volatile std::sig_atomic_t writeEnd = -1;
struct sigaction previous[kSignals.size()];

extern "C" void onSignal(int signal) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a close that has not been read yet: losing this one is fine.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

}  // namespace

SignalClose::SignalClose(std::function<void(int)> onSignal)
    : onSignal_(onSignal ? std::move(onSignal) : [](int) { closeProgramWindows(); }) {
    if (writeEnd != -1) throw std::logic_error("only one SignalClose at a time");
    // Close-on-exec: a fallback saver launched later must not hold the pipe.
    if (::pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0)
        throw std::runtime_error("cannot create the signal pipe");
    writeEnd = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { drain(); });

    struct sigaction action = {};
    action.sa_handler = velmora::qt::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &previous[i]);
}

SignalClose::~SignalClose() {
    for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &previous[i], nullptr);
    writeEnd = -1;
    notifier_.reset();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void SignalClose::drain() {
    unsigned char bytes[64];
    ssize_t count;
    while ((count = ::read(pipe_[0], bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < count; ++i) onSignal_(bytes[i]);
}

void closeProgramWindows() {
    // A modal box runs a nested loop, and the board's release waits until that loop returns: end
    // the boxes first, topmost first. Each pass hides one, so the loop ends once none is left;
    // the bound only stops it should closing a box open another each time. It is far more than
    // the program stacks: the options dialog, and a chooser or message box over it.
    constexpr int kMaxBoxes = 16;
    for (int box = 0; box < kMaxBoxes; ++box) {
        QPointer<QWidget> modal = QApplication::activeModalWidget();
        if (!modal) break;
        if (auto* dialog = qobject_cast<QDialog*>(modal.data()))
            dialog->reject();
        else
            modal->close();
        if (modal && modal->isVisible()) modal->hide();
    }
    QList<QPointer<QWidget>> windows;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (dynamic_cast<platform::Window*>(widget)) windows.append(widget);
    for (const QPointer<QWidget>& window : windows)
        if (window) window->close();
}

}  // namespace velmora::qt
