// SPDX-License-Identifier: MIT
// The settings as the board reads them, with the jukebox's address given on the command line in
// place of the stored one: the link reads its address from the store before every attempt.
#pragma once

#include <optional>
#include <string>

#include "platform/services.h"

namespace velmora::web {

struct JukeboxAddress {
    std::string host;
    std::string port;  // decimal, as the store keeps it
};

class AddressedSettings final : public platform::SettingsStore {
  public:
    AddressedSettings(platform::SettingsStore& stored, std::optional<JukeboxAddress> address)
        : stored_(stored), address_(std::move(address)) {}

    std::string read(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& fallback) override;
    // The pages change nothing: the board never writes.
    void write(const std::string&, const std::string&, const std::string&,
               const std::string&) override {}

  private:
    platform::SettingsStore& stored_;
    std::optional<JukeboxAddress> address_;
};

}  // namespace velmora::web
