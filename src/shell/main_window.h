// SPDX-License-Identifier: MIT
// The now-playing window: its start-up, mode dispatch, mouse rules and shutdown.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "board/board_state.h"
#include "board/echo_watch.h"
#include "board/message_handler.h"
#include "link/link_control.h"
#include "platform/services.h"
#include "velmora/lifetime.h"

namespace velmora::shell {

class MainWindow final : public platform::WindowEvents {
  public:
    struct Hooks {
        std::function<void()> showSettings;  // "/C": show the settings dialog
        std::function<void()> released;      // the window and its controls are gone
    };

    MainWindow(platform::Services& services, link::LinkFactory& links, Hooks hooks);
    ~MainWindow() override;

    // The load handler: runs once, before the window is first shown.
    void load();
    // Unloads the window: the shutdown sequence, then the window is released.
    void unload();

    void mouseDown(int button, int shift, float x, float y) override;
    void mouseMove(int button, int shift, float x, float y) override;
    void closeRequested() override;
    void hostResized() override;
    void clicked(int) override {}
    void textEdited(int, const std::string&) override {}

    const Form& form() const { return form_; }
    const board::BoardState& state() const { return *board_; }
    bool unloaded() const { return board_->unloaded(); }

  private:
    void startUp();
    void showInHost();
    void shutDown();
    void postRelease();
    void release();
    void guarded(const std::function<void()>& handler);

    platform::Services& services_;
    Hooks hooks_;
    Form form_;
    std::unique_ptr<link::LinkControl> slinkx_;
    std::unique_ptr<link::LinkControl> slinkx1_;  // created with the window, never used
    std::unique_ptr<board::BoardState> board_;
    board::MessageHandler messages_;
    board::EchoWatch echoWatch_;
    std::unique_ptr<platform::Timer> tmrNotify_;
    std::unique_ptr<platform::Window> window_;
    float anchorX_ = 0;  // first mouse position seen; (0, 0) while none was recorded
    float anchorY_ = 0;
    bool handling_ = false;  // a handler of this window is on the stack
    bool releasePending_ = false;
    bool hosted_ = false;  // drawn inside a screen-saver host's window
    bool kiosk_ = false;   // always on show: the mouse and touch end nothing
    velmora::Liveness
        liveness_;  // last, so it goes first: a posted task never sees a half-gone window
};

// The mode the command line selects: its first two characters, trimmed and upper-cased.
std::string runModeOf(const std::string& commandLine);
// "--kiosk" as the command line's first word: the board as in "/S", always on a box's own screen,
// ended only by a signal or the compositor closing it.
bool isKioskCommand(const std::string& commandLine);

}  // namespace velmora::shell
