// SPDX-License-Identifier: MIT
// Prints what the running board shows, read through the Win32 API as any other program could:
// the window's placement and, for each control of the board's design, its text and visibility.
// Exits 1 when no board window is up.
#include <windows.h>

#include <cstdio>
#include <string>

#include "display/board_design.h"

namespace {

constexpr int kFirstControlId = 1000;  // the backend numbers controls from here

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    std::string out(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr,
                                                            0, nullptr, nullptr)),
                    '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), static_cast<int>(out.size()),
                        nullptr, nullptr);
    return out;
}

// WM_GETTEXT rather than GetWindowText: an edit control of another process keeps its text to
// itself.
std::wstring textOf(HWND window) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length);
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 2000, &copied);
    text.resize(copied);
    return text;
}

BOOL CALLBACK findBoard(HWND window, LPARAM found) {
    wchar_t name[64];
    GetClassNameW(window, name, 64);
    if (std::wstring(name) == L"Velmora2000Form" && GetWindowTextLengthW(window) == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int main() {
    HWND board = nullptr;
    EnumWindows(findBoard, reinterpret_cast<LPARAM>(&board));
    if (!board) {
        std::puts("no board");
        return 1;
    }
    RECT r{};
    GetWindowRect(board, &r);
    const LONG_PTR exStyle = GetWindowLongPtrW(board, GWL_EXSTYLE);
    std::printf("window visible=%d topmost=%d rect=%ld,%ld,%ld,%ld\n",
                IsWindowVisible(board) ? 1 : 0, (exStyle & WS_EX_TOPMOST) ? 1 : 0, r.left, r.top,
                r.right, r.bottom);

    const velmora::Form design = velmora::display::makeBoard();
    for (int i = 0; i < design.count(); ++i) {
        HWND control = GetDlgItem(board, kFirstControlId + i);
        if (!control) continue;
        std::printf("%s visible=%d text=%s\n", design[i].name.c_str(),
                    IsWindowVisible(control) ? 1 : 0, utf8(textOf(control)).c_str());
    }
    return 0;
}
