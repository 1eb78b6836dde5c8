// SPDX-License-Identifier: MIT
#include "shell/application.h"

namespace velmora::shell {

Application::Application(platform::Services& services, link::LinkFactory& links)
    : services_(services), links_(links) {}

Application::~Application() = default;

void Application::start() {
    ++openWindows_;
    main_ = std::make_unique<MainWindow>(
        services_, links_, MainWindow::Hooks{[this] { showSettings(); }, [this] { windowGone(); }});
    main_->load();
}

// The dialog loads before it is shown; a failing load ends the program with the start-up's report.
void Application::showSettings() {
    ++openWindows_;
    settings_ = std::make_unique<dialog::SettingsDialog>(services_, [this] { windowGone(); });
    settings_->load();
    settings_->show();
}

void Application::windowGone() {
    if (--openWindows_ == 0) services_.ui.quit();
}

}  // namespace velmora::shell
