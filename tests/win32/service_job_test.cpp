// SPDX-License-Identifier: MIT
// velmora-jukebox-background.exe's start of the service: in its job, or not running at all.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "service_job_win32.h"

#include <tlhelp32.h>

namespace velmora::jukebox {
namespace {

// Whether a process of this image name runs.
bool running(const std::wstring& name) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry))
        found = _wcsicmp(entry.szExeFile, name.c_str()) == 0;
    CloseHandle(snapshot);
    return found;
}

TEST(ServiceJob, TheServiceRunsInTheJobOrNotAtAll) {
    struct Case {
        const char* name;
        ACCESS_MASK access;  // to the job, through the handle given
        bool starts;
    } cases[] = {
        {"a job it may be put in", JOB_OBJECT_ALL_ACCESS, true},
        {"a job it cannot be put in", JOB_OBJECT_QUERY, false},
    };
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A copy of the probe of its own, which writes its command line beside itself.
        const std::wstring name =
            L"velmora-job-probe-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
        const std::wstring program = folder + name;
        ASSERT_TRUE(CopyFileW(L"velmora_launch_probe.exe", program.c_str(), FALSE));
        const std::wstring written = program + L".txt";
        DeleteFileW(written.c_str());

        const HANDLE job = CreateJobObjectW(nullptr, nullptr);
        HANDLE given = nullptr;
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), job, GetCurrentProcess(), &given, c.access,
                                    FALSE, 0));
        std::string why;
        const HANDLE service =
            startInJob(given, program, L"\"" + program + L"\" --mpd", INVALID_HANDLE_VALUE, why);
        if (c.starts) {
            ASSERT_NE(service, nullptr) << why;
            BOOL inJob = FALSE;
            EXPECT_TRUE(IsProcessInJob(service, job, &inJob) && inJob);
            EXPECT_EQ(WaitForSingleObject(service, 30000), WAIT_OBJECT_0);
            CloseHandle(service);
            std::ifstream file(written.c_str(), std::ios::binary);
            const std::string line{std::istreambuf_iterator<char>(file), {}};
            EXPECT_NE(line.find("--mpd"), std::string::npos) << line;
        } else {
            EXPECT_EQ(service, nullptr);
            EXPECT_NE(why.find("job"), std::string::npos) << why;
            // Ended before it ran: it wrote nothing, and nothing of it is left running.
            EXPECT_FALSE(running(name));
            EXPECT_EQ(GetFileAttributesW(written.c_str()), INVALID_FILE_ATTRIBUTES);
        }
        CloseHandle(given);
        CloseHandle(job);
        DeleteFileW(written.c_str());
        DeleteFileW(program.c_str());
    }
}

}  // namespace
}  // namespace velmora::jukebox
