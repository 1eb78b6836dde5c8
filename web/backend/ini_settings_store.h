// SPDX-License-Identifier: MIT
// The board's per-user settings, read without Qt: the INI file the board keeps for each
// application name in ~/.config/velmora2000 (or under $XDG_CONFIG_HOME), read as the board reads
// it. velmora-web changes nothing in it.
#pragma once

#include <map>
#include <string>

#include "platform/services.h"

namespace velmora::web {

class IniSettingsStore final : public platform::SettingsStore {
  public:
    IniSettingsStore();  // the board's own folder
    explicit IniSettingsStore(std::string folder);

    // Every read looks at the file as it is now: the board's options dialog may have changed it.
    std::string read(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& fallback) override;
    // Refused with Failure: the settings are the board's.
    void write(const std::string& application, const std::string& section, const std::string& key,
               const std::string& value) override;

    std::string fileOf(const std::string& application) const;

  private:
    // What one file held when it was last parsed: its bytes and its values by "section/key".
    struct Snapshot {
        bool parsed = false;
        bool present = false;
        std::string bytes;
        std::map<std::string, std::string> values;
    };
    const Snapshot& current(const std::string& file);

    std::string folder_;
    std::map<std::string, Snapshot> snapshots_;
};

}  // namespace velmora::web
