#include "shell/main_window.h"

#include <cctype>

#include "display/board_design.h"
#include "display/board_scaling.h"

namespace velmora {

namespace {
constexpr char kTxEndpoint[] = "cdj";
constexpr char kRxEndpoint[] = "cdjr";
}  // namespace

std::string runModeOf(const std::string& commandLine) {
    const char* blank = " ";
    auto first = commandLine.find_first_not_of(blank);
    if (first == std::string::npos) return "";
    auto last = commandLine.find_last_not_of(blank);
    std::string mode = commandLine.substr(first, std::min<size_t>(2, last - first + 1));
    // Only ASCII letters change case: a UTF-8 lead byte must stay whole.
    for (char& c : mode)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return mode;
}

MainWindow::MainWindow(platform::Services& services, LinkFactory& links, Hooks hooks)
    : services_(services),
      hooks_(std::move(hooks)),
      form_(board::makeBoard()),
      slinkx_(links.createLink()),
      slinkx1_(links.createLink()),
      board_(std::make_unique<BoardContext>(services, form_, *slinkx_)),
      messages_(*board_),
      notify_(*board_) {
    slinkx_->onLinkMessage([this](std::string& endpoint, std::string& message) {
        guarded([&] { messages_.handle(endpoint, message); });
    });
    tmrNotify_ = services_.timers.createTimer(board::kNotifyInterval, true,
                                              [this] { guarded([this] { notify_.tick(); }); });
    window_ = services_.ui.createWindow(form_, *this);
}

MainWindow::~MainWindow() = default;

void MainWindow::load() {
    guarded([this] { startUp(); });
}

void MainWindow::startUp() {
    BoardContext& b = *board_;
    b.txEndpoint = kTxEndpoint;
    b.rxEndpoint = kRxEndpoint;
    b.echoReceived = 0;

    board::applyScalingAndColours(form_, services_.ui.screenSize(), services_.settings);

    b.lastResult = toInt16(slinkx_->LinkOpen(b.txEndpoint, "type=devtx", 1, 1, 0));
    b.lastResult = toInt16(slinkx_->LinkOpen(b.rxEndpoint, "type=devrx", 1, 1, 0));
    b.send("notify_playing_item[on]");
    b.send("notify_playing_timecode[on]");
    b.send("echo[cdjon]");

    tmrNotify_->setEnabled(true);
    if (services_.ui.inHostWindow()) {
        showInHost();
        return;
    }
    b.lastResult = toInt16(services_.system.showCursor(false));

    const std::string runMode = runModeOf(services_.system.commandLine());
    if (runMode == "/S") {
        b.desktopRect = services_.ui.desktopRect();
        services_.system.setScreenSaverActive(false);
        window_->placeTopmost(0, 0, b.desktopRect.right, b.desktopRect.bottom);
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
    board_->desktopRect = services_.ui.desktopRect();
    window_->placeTopmost(0, 0, board_->desktopRect.right, board_->desktopRect.bottom);
}

void MainWindow::mouseDown(int, int, float, float) {
    if (hosted_) return;
    guarded([this] { unload(); });
}

void MainWindow::mouseMove(int, int, float x, float y) {
    if (hosted_) return;
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
    if (board_->unloaded) return;
    board_->unloaded = true;
    shutDown();
    // The window and its controls go once the current event is over, never under a running handler.
    tmrNotify_->setEnabled(false);
    services_.ui.post([this] {
        if (depth_ > 0)
            releasePending_ = true;  // a handler is still on the stack (a nested modal loop)
        else
            release();
    });
}

void MainWindow::shutDown() {
    BoardContext& b = *board_;
    b.send("notify_playing_item[off]");
    b.send("notify_playing_timecode[off]");
    b.lastResult = toInt16(slinkx_->LinkClose(b.txEndpoint));
    b.lastResult = toInt16(slinkx_->LinkClose(b.rxEndpoint));
    if (hosted_) return;  // the pointer and the idle watch stayed the host's
    services_.system.showCursor(true);
    services_.system.setScreenSaverActive(true);
}

void MainWindow::release() {
    releasePending_ = false;
    window_.reset();
    tmrNotify_.reset();
    slinkx1_.reset();
    slinkx_->onLinkMessage(nullptr);
    slinkx_.reset();
    if (hooks_.released) hooks_.released();
}

void MainWindow::guarded(const std::function<void()>& handler) {
    ++depth_;
    try {
        handler();
    } catch (const std::exception& failure) {
        services_.ui.reportFatal(failure.what());
    }
    if (--depth_ == 0 && releasePending_) release();
}

}  // namespace velmora
