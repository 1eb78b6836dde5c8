// SPDX-License-Identifier: MIT
// The options dialog's controller: load, the choosers behind "Select" and "Set Color", "OK" that
// stores all eleven values, and "Cancel" or the close box that store nothing.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "velmora/lifetime.h"
#include "platform/services.h"

namespace velmora::dialog {

// "description|pattern|description|pattern" as the chooser's list of entries.
std::vector<platform::FileFilter> fileFilters(std::string_view text);

class SettingsDialog final : public platform::WindowEvents {
  public:
    // closed runs once the window is gone; it must not destroy the dialog.
    SettingsDialog(platform::Services& services, std::function<void()> closed);
    ~SettingsDialog() override;

    // Fills the dialog from the store. Throws when the store fails.
    void load();
    // Modeless, without an owner, focus on "OK".
    void show();

    void mouseDown(int, int, float, float) override {}
    void mouseMove(int, int, float, float) override {}
    void closeRequested() override;
    void clicked(int control) override;
    void textEdited(int control, const std::string& text) override;

    const Form& form() const { return form_; }
    const std::string& saverFullPath() const { return saverFullPath_; }
    const std::string& pictureFullPath() const { return pictureFullPath_; }

  private:
    void ok();
    void chooseFile(int nameBox, std::string& fullPath, std::string_view filterText);
    void chooseColour(int row);
    void close();
    void guarded(const std::function<void()>& handler);

    platform::Services& services_;
    std::function<void()> closed_;
    Form form_;
    std::string saverFullPath_;
    std::string pictureFullPath_;
    std::unique_ptr<platform::Window> window_;
    bool closing_ = false;
    velmora::Liveness liveness_;  // for the task posted by close; the dialog may go first
};

}  // namespace velmora::dialog
