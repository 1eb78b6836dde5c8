// SPDX-License-Identifier: MIT
#include "shell/main_window.h"

#include <cctype>
#include <string_view>

#include "display/board_design.h"
#include "display/board_scaling.h"
#include "display/text_fit.h"
#include "settings/settings_keys.h"
#include "velmora/messages.h"
#include "velmora/trim.h"

namespace velmora::shell {

std::string runModeOf(const std::string& commandLine) {
    std::string mode(velmora::trimSpaces(commandLine).substr(0, 2));
    // Only ASCII letters change case: a UTF-8 lead byte must stay whole.
    for (char& c : mode)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return mode;
}

bool isKioskCommand(const std::string& commandLine) {
    const std::string_view line = velmora::trimSpaces(commandLine);
    return line.substr(0, line.find(' ')) == "--kiosk";
}

MainWindow::MainWindow(platform::Services& services, link::LinkFactory& links, Hooks hooks)
    : services_(services),
      hooks_(std::move(hooks)),
      form_(display::makeBoard()),
      slinkx_(links.createLink()),
      slinkx1_(links.createLink()),
      board_(std::make_unique<board::BoardState>(services, form_, *slinkx_)),
      messages_(*board_),
      echoWatch_(*board_, messages_) {
    slinkx_->onLinkMessage([this](std::string& endpoint, std::string& message) {
        guarded([&] { messages_.handle(endpoint, message); });
    });
    tmrNotify_ = services_.timers.createTimer(display::kNotifyInterval, true,
                                              [this] { guarded([this] { echoWatch_.tick(); }); });
    window_ = services_.ui.createWindow(form_, *this);
}

MainWindow::~MainWindow() = default;

void MainWindow::load() {
    guarded([this] { startUp(); });
}

void MainWindow::startUp() {
    board::BoardState& b = *board_;
    b.setEchoReceived(false);

    display::applyScalingAndColours(form_, services_.ui.screenSize(), services_.settings);
    // Texts are fitted once, at the sizes they are shown in: measuring them at the design's sizes
    // first would load fonts for nothing before the board's first frame.
    form_.setFitter([this](const Control& field) { return display::fitText(field, services_.ui); });

    b.openEndpoints();
    b.send(link::messages::kNotifyPlayingItemOn);
    b.send(link::messages::kNotifyPlayingTimecodeOn);
    b.send(board::kEchoRequest);

    tmrNotify_->setEnabled(true);
    if (services_.ui.inHostWindow()) {
        showInHost();
        return;
    }
    b.keepResult(services_.system.showCursor(false));

    const std::string commandLine = services_.system.commandLine();
    const std::string runMode = runModeOf(commandLine);
    kiosk_ = isKioskCommand(commandLine);
    if (runMode == "/S" || kiosk_) {
        const PixelRect desktop = services_.ui.desktopRect();
        services_.system.setScreenSaverActive(false);
        window_->placeTopmost(0, 0, desktop.right, desktop.bottom);
        services_.system.showCursor(false);
    } else if (runMode == "/P") {
        unload();
    } else if (runMode == "/C") {
        if (hooks_.showSettings) hooks_.showSettings();
        unload();
    } else {
        unload();
    }
}

// A screen-saver host's window: the board covers it as it covers the desktop in "/S". The host
// keeps the pointer, the input and the idle watch, and ends the board by closing it.
void MainWindow::showInHost() {
    hosted_ = true;
    const PixelRect host = services_.ui.desktopRect();
    window_->placeTopmost(0, 0, host.right, host.bottom);
}

// The host's settings program resized its preview: the board follows, as at start-up.
void MainWindow::hostResized() {
    if (!hosted_ || board_->unloaded()) return;
    guarded([this] {
        display::rescaleBoard(form_, services_.ui.screenSize());
        const PixelRect host = services_.ui.desktopRect();
        window_->placeTopmost(0, 0, host.right, host.bottom);
    });
}

// A kiosk's screen has nobody to dismiss it for: a touch or a mouse there is a passer-by.
void MainWindow::mouseDown(int, int, float, float) {
    if (hosted_ || kiosk_) return;
    guarded([this] { unload(); });
}

void MainWindow::mouseMove(int, int, float x, float y) {
    if (hosted_ || kiosk_) return;
    guarded([&] {
        if (anchorX_ == 0.0f && anchorY_ == 0.0f) {
            anchorX_ = x;
            anchorY_ = y;
        } else if (x != anchorX_ || y != anchorY_) {
            unload();
        }
    });
}

void MainWindow::closeRequested() {
    guarded([this] { unload(); });
}

void MainWindow::unload() {
    if (board_->unloaded()) return;
    board_->markUnloaded();
    messages_.stop();  // a cover still decoding is not waited for
    shutDown();
    // The window and its controls go in a posted task once no handler of the window is on the
    // stack (a modal box runs posted tasks in its nested loop).
    tmrNotify_->setEnabled(false);
    postRelease();
}

void MainWindow::postRelease() {
    services_.ui.post(liveness_.guard([this] {
        if (handling_)
            releasePending_ = true;  // posted again when the outermost handler returns
        else
            release();
    }));
}

void MainWindow::shutDown() {
    board::BoardState& b = *board_;
    b.send(link::messages::kNotifyPlayingItemOff);
    b.send(link::messages::kNotifyPlayingTimecodeOff);
    b.closeEndpoints();
    if (hosted_) return;  // the pointer and the idle watch stayed the host's
    services_.system.showCursor(true);
    services_.system.setScreenSaverActive(true);
}

void MainWindow::release() {
    window_.reset();
    tmrNotify_.reset();
    slinkx1_.reset();
    slinkx_->onLinkMessage(nullptr);
    slinkx_.reset();
    if (hooks_.released) hooks_.released();
}

void MainWindow::guarded(const std::function<void()>& handler) {
    {
        velmora::ScopedFlag running(handling_);
        try {
            handler();
        } catch (const std::exception& failure) {
            services_.ui.reportFatal(settings::kProgramTitle, failure.what());
        }
    }
    if (!handling_ && releasePending_) {
        releasePending_ = false;
        postRelease();
    }
}

}  // namespace velmora::shell
