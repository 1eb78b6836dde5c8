#include "shell/application.h"

namespace velmora {

Application::Application(platform::Services& services, LinkFactory& links)
    : services_(services), links_(links) {}

Application::~Application() = default;

void Application::start() {
    ++openWindows_;
    main_ = std::make_unique<MainWindow>(
        services_, links_, MainWindow::Hooks{[this] { showSettings(); }, [this] { windowGone(); }});
    main_->load();
}

void Application::showSettings() {}

void Application::windowGone() {
    if (--openWindows_ == 0) services_.ui.quit();
}

}  // namespace velmora
