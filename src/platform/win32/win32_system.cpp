// SPDX-License-Identifier: MIT
#include "platform/win32/win32_system.h"

#include "platform/win32/command_line.h"
#include "platform/win32/text.h"
#include "platform/win32/win32.h"

namespace velmora::win32 {

namespace {

class Win32Process final : public platform::Process {
  public:
    explicit Win32Process(HANDLE process) : process_(process) {}
    ~Win32Process() override { CloseHandle(process_); }
    Win32Process(const Win32Process&) = delete;
    Win32Process& operator=(const Win32Process&) = delete;
    bool running() override { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

  private:
    HANDLE process_;
};

bool ordinary(const WIN32_FIND_DATAW& entry) {
    return (entry.dwFileAttributes &
            (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

}  // namespace

int Win32System::showCursor(bool show) {
    return ShowCursor(show ? TRUE : FALSE);
}

void Win32System::setScreenSaverActive(bool active) {
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, active ? TRUE : FALSE, nullptr, 0);
}

std::string Win32System::commandLine() {
    return narrow(argumentsOf(GetCommandLineW()));
}

std::string Win32System::findFirstFile(const std::string& path) {
    std::wstring pattern = widen(path);
    if (!pattern.empty() && (pattern.back() == L'\\' || pattern.back() == L'/')) pattern += L'*';
    if (pattern.empty()) return {};
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return {};
    std::string found;
    do {
        if (ordinary(entry)) {
            found = narrow(entry.cFileName);
            break;
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

std::unique_ptr<platform::Process> Win32System::launch(const std::string& program,
                                                       const std::vector<std::string>& args) {
    std::vector<std::wstring> wideArgs;
    for (const auto& arg : args) wideArgs.push_back(widen(arg));
    std::wstring line = commandLineFor(widen(program), wideArgs);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            throw Failure(ErrorCode::FileNotFound, "File not found: " + program);
        throw Failure(ErrorCode::InvalidProcedureCall,
                      "Cannot start " + program + " (error " + std::to_string(error) + ")");
    }
    CloseHandle(info.hThread);
    return std::make_unique<Win32Process>(info.hProcess);
}

}  // namespace velmora::win32
