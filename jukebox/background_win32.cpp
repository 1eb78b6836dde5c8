// SPDX-License-Identifier: MIT
// velmora-jukebox-background.exe: runs velmora-jukebox.exe (the console program beside it) with
// the options it was given and no console window, for the log-on entry the installer writes.
// velmora-jukebox's output goes to %LOCALAPPDATA%\velmora-jukebox\velmora-jukebox.log, rewritten
// at each start. One runs per session; a second start leaves the first alone.
//
//   velmora-jukebox-background.exe --stop   ends the running one and returns once it has gone,
//                                           so that its files can be removed
#include <windows.h>

#include <cwchar>
#include <string>

#include "service_job_win32.h"

namespace {

// The running one holds the mutex for as long as it lives and ends when the event is set.
constexpr wchar_t kRunningName[] = L"Local\\velmora-jukebox-background.running";
constexpr wchar_t kStopName[] = L"Local\\velmora-jukebox-background.stop";

// The command line after the program's own name, split as Windows splits it: a quoted name ends
// at the next quote, an unquoted one at the first blank.
const wchar_t* argumentsOf(const wchar_t* line) {
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"') ++line;
        if (*line) ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

std::wstring ownFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring environment(const wchar_t* name) {
    std::wstring value(GetEnvironmentVariableW(name, nullptr, 0), L'\0');
    if (value.empty()) return {};
    value.resize(GetEnvironmentVariableW(name, value.data(), DWORD(value.size())));
    return value;
}

// The log that takes velmora-jukebox's output, or INVALID_HANDLE_VALUE.
HANDLE openLog() {
    std::wstring folder = environment(L"LOCALAPPDATA");
    if (folder.empty()) return INVALID_HANDLE_VALUE;
    folder += L"\\velmora-jukebox";
    CreateDirectoryW(folder.c_str(), nullptr);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW((folder + L"\\velmora-jukebox.log").c_str(), GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

int stopRunning() {
    const HANDLE running = OpenMutexW(SYNCHRONIZE, FALSE, kRunningName);
    if (!running) return 0;  // none runs
    // The running one creates the event before the mutex, so it is there.
    if (const HANDLE stop = OpenEventW(EVENT_MODIFY_STATE, FALSE, kStopName)) {
        SetEvent(stop);
        CloseHandle(stop);
    }
    const DWORD waited = WaitForSingleObject(running, 15000);
    const bool gone = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    if (gone) ReleaseMutex(running);
    CloseHandle(running);
    return gone ? 0 : 1;
}

int run(const wchar_t* arguments) {
    const HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, kStopName);
    const HANDLE running = CreateMutexW(nullptr, TRUE, kRunningName);
    if (!stop || !running || GetLastError() == ERROR_ALREADY_EXISTS) return 0;
    // A stop still set for the one before (ending as a reinstall starts this one) is not ours.
    ResetEvent(stop);

    // In a job that ends with this process: velmora-jukebox never outlives it.
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job ||
        !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits))
        return 1;

    const std::wstring program = ownFolder() + L"velmora-jukebox.exe";
    const HANDLE log = openLog();
    std::string why;
    const HANDLE service =
        velmora::jukebox::startInJob(job, program, L"\"" + program + L"\" " + arguments, log, why);
    if (!service) {
        if (log != INVALID_HANDLE_VALUE) {
            const std::string text =
                "velmora-jukebox-background: velmora-jukebox.exe did not start: " + why + "\r\n";
            DWORD written = 0;
            WriteFile(log, text.data(), DWORD(text.size()), &written, nullptr);
        }
        return 1;
    }

    const HANDLE waitFor[] = {stop, service};
    DWORD exitCode = 0;
    if (WaitForMultipleObjects(2, waitFor, FALSE, INFINITE) == WAIT_OBJECT_0) {
        TerminateJobObject(job, 0);
        WaitForSingleObject(service, INFINITE);
    } else {
        GetExitCodeProcess(service, &exitCode);
    }
    ReleaseMutex(running);
    return int(exitCode);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const wchar_t* arguments = argumentsOf(GetCommandLineW());
    if (std::wcscmp(arguments, L"--stop") == 0) return stopRunning();
    return run(arguments);
}
