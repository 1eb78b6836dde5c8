// SPDX-License-Identifier: MIT
// Started by the launch test: writes the command line it got, as UTF-8, next to itself.
#include <windows.h>

#include <cstdio>

int main() {
    const wchar_t* line = GetCommandLineW();
    char text[4096];
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, line, -1, text, sizeof text, nullptr, nullptr);
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    wcscat_s(path, L".txt");
    FILE* out = nullptr;
    if (_wfopen_s(&out, path, L"wb") != 0 || !out) return 1;
    if (length > 0) fwrite(text, 1, static_cast<size_t>(length - 1), out);
    fclose(out);
    return 0;
}
