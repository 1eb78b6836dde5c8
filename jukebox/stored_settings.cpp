// SPDX-License-Identifier: MIT
#include "stored_settings.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace velmora::jukebox {

#ifdef _WIN32
std::string storedMpdAddress() {
    constexpr wchar_t kKey[] = L"Software\\velmora-jukebox";
    constexpr wchar_t kValue[] = L"MpdAddress";
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kKey, kValue, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
        ERROR_SUCCESS)
        return {};
    std::wstring wide(bytes / sizeof(wchar_t), L'\0');
    if (RegGetValueW(HKEY_CURRENT_USER, kKey, kValue, RRF_RT_REG_SZ, nullptr, wide.data(),
                     &bytes) != ERROR_SUCCESS)
        return {};
    wide.resize(wcsnlen(wide.c_str(), wide.size()));
    if (wide.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string text(std::size_t(length > 0 ? length : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), text.data(), length, nullptr,
                        nullptr);
    return text;
}
#else
std::string storedMpdAddress() {
    return {};
}
#endif

}  // namespace velmora::jukebox
