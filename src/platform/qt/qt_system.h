// SPDX-License-Identifier: MIT
// The pointer, the desktop's screen saver, the command line, file lookup and program launch.
#pragma once

#include <QStringList>

#include "platform/qt/screensaver_inhibitor.h"
#include "platform/services.h"

namespace velmora::qt {

class QtSystem final : public platform::System {
  public:
    // arguments: the program's, its own name first (QCoreApplication::arguments()).
    explicit QtSystem(QStringList arguments);
    ~QtSystem() override;

    // Like Windows' ShowCursor: the pointer shows while the counter is 0 or more.
    int showCursor(bool show) override;
    void setScreenSaverActive(bool active) override;
    std::string commandLine() override { return commandLine_; }
    std::string findFirstFile(const std::string& path) override;
    std::unique_ptr<platform::Process> launch(const std::string& program,
                                              const std::vector<std::string>& args) override;

    int cursorCounter() const { return cursorCounter_; }
    bool pointerHidden() const { return blankCursor_; }

  private:
    std::string commandLine_;
    int cursorCounter_ = 0;
    bool blankCursor_ = false;
    ScreenSaverInhibitor inhibitor_;
};

}  // namespace velmora::qt
