// SPDX-License-Identifier: MIT
#include "service_job_win32.h"

namespace velmora::jukebox {

namespace {

std::string failed(const char* what) {
    return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

HANDLE startInJob(HANDLE job, const std::wstring& program, std::wstring commandLine, HANDLE output,
                  std::string& why) {
    const bool redirected = output != INVALID_HANDLE_VALUE;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (redirected) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output;
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, redirected,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &process)) {
        why = failed("cannot start it");
        return nullptr;
    }
    if (!AssignProcessToJobObject(job, process.hProcess)) {
        why = failed("cannot put it in a job");
    } else if (ResumeThread(process.hThread) == DWORD(-1)) {
        why = failed("cannot let it run");
    } else {
        CloseHandle(process.hThread);
        return process.hProcess;
    }
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);  // suspended: it ends at once
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return nullptr;
}

}  // namespace velmora::jukebox
