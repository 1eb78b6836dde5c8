// SPDX-License-Identifier: MIT
#include "platform/win32/registry_store.h"

#include "platform/win32/text.h"
#include "platform/win32/win32.h"

namespace velmora::win32 {

namespace {

std::wstring sectionPath(const std::string& application, const std::string& section) {
    return std::wstring(RegistryStore::kRoot) + L"\\" + widen(application) + L"\\" + widen(section);
}

}  // namespace

std::string RegistryStore::read(const std::string& application, const std::string& section,
                                const std::string& key, const std::string& fallback) {
    HKEY hkey = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, sectionPath(application, section).c_str(), 0,
                      KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS)
        return fallback;
    const std::wstring name = widen(key);
    std::wstring value;
    DWORD type = 0;
    DWORD bytes = 0;
    LSTATUS status = RegQueryValueExW(hkey, name.c_str(), nullptr, &type, nullptr, &bytes);
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        value.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        status = RegQueryValueExW(hkey, name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(value.data()), &bytes);
        if (status == ERROR_SUCCESS) break;  // ERROR_MORE_DATA: it grew meanwhile; ask again
    }
    RegCloseKey(hkey);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return fallback;
    value.resize(bytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();  // stored with or without
    return narrow(value);
}

void RegistryStore::write(const std::string& application, const std::string& section,
                          const std::string& key, const std::string& value) {
    HKEY hkey = nullptr;
    LSTATUS status =
        RegCreateKeyExW(HKEY_CURRENT_USER, sectionPath(application, section).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &hkey, nullptr);
    if (status == ERROR_SUCCESS) {
        const std::wstring text = widen(value);
        status = RegSetValueExW(hkey, widen(key).c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(hkey);
    }
    if (status != ERROR_SUCCESS)
        throw Failure(status == ERROR_ACCESS_DENIED ? ErrorCode::PermissionDenied
                                                    : ErrorCode::InvalidProcedureCall,
                      "Cannot write setting " + application + "\\" + section + "\\" + key);
}

}  // namespace velmora::win32
