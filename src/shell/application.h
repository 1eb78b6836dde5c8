// SPDX-License-Identifier: MIT
// The program: creates the now-playing window, shows the options dialog for "/C", and ends when
// none of its windows is left.
#pragma once

#include <memory>

#include "dialog/settings_dialog.h"
#include "link/link_control.h"
#include "platform/services.h"
#include "shell/main_window.h"

namespace velmora::shell {

class Application {
  public:
    Application(platform::Services& services, link::LinkFactory& links);
    ~Application();

    // Creates the main window hidden with its design layout and runs its load handler.
    void start();

    MainWindow* mainWindow() { return main_.get(); }
    dialog::SettingsDialog* settingsDialog() { return settings_.get(); }

  private:
    void showSettings();
    void windowGone();

    platform::Services& services_;
    link::LinkFactory& links_;
    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<dialog::SettingsDialog> settings_;  // its window goes when it closes
    int openWindows_ = 0;
};

}  // namespace velmora::shell
