// SPDX-License-Identifier: MIT
// The settings store in the registry, where application/section/key settings conventionally live
// on Windows: HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>,
// each key a string value.
#pragma once

#include "platform/services.h"

namespace velmora::win32 {

class RegistryStore final : public platform::SettingsStore {
  public:
    static constexpr wchar_t kRoot[] = L"Software\\VB and VBA Program Settings";

    std::string read(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& fallback) override;
    // Throws Failure when the registry refuses the write.
    void write(const std::string& application, const std::string& section, const std::string& key,
               const std::string& value) override;
};

}  // namespace velmora::win32
