// SPDX-License-Identifier: MIT
// The fallback saver and the default picture are each kept as a pair under a section of their own:
// the name the options show and the file's full path.
#pragma once

#include <optional>
#include <string>

#include "platform/services.h"
#include "settings/settings_keys.h"

namespace velmora::settings {

class ChosenFile {
  public:
    // section: kSaverSection or kPictureSection.
    ChosenFile(platform::SettingsStore& store, const char* section)
        : store_(store), section_(section) {}

    // Each is read from the store when first asked for, so a caller reads only what it needs and
    // in its own order.
    const std::string& name() { return read(name_, kNameKey); }
    const std::string& fullPath() { return read(fullPath_, kFullPathKey); }

    // The name first, then the path.
    void write(const std::string& name, const std::string& fullPath);

  private:
    const std::string& read(std::optional<std::string>& value, const char* key);

    platform::SettingsStore& store_;
    const char* section_;
    std::optional<std::string> name_;
    std::optional<std::string> fullPath_;
};

}  // namespace velmora::settings
