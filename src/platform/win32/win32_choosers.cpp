// SPDX-License-Identifier: MIT
#include "platform/win32/win32_choosers.h"

#include <algorithm>
#include <type_traits>

#include "platform/win32/text.h"
#include "platform/win32/win32.h"

#include <commdlg.h>

namespace velmora::win32 {

namespace {

constexpr size_t kPathBuffer = 32768;  // the longest path Windows knows

// An initial folder that names a file opens in that file's folder.
std::wstring folderOf(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return path;
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

std::wstring filterText(const std::vector<platform::FileFilter>& filters) {
    std::wstring text;
    for (const auto& f : filters) {
        text += widen(f.description);
        text += L'\0';
        text += widen(f.pattern);
        text += L'\0';
    }
    text += L'\0';
    return text;
}

std::optional<platform::FileChoice> Win32Choosers::chooseFile(
    const platform::FileRequest& request) {
    const std::wstring filter = filterText(request.filters);
    const std::wstring folder = folderOf(widen(request.initialFolder));
    std::wstring file = widen(request.initialName);
    file.resize(std::max(kPathBuffer, file.size() + 1), L'\0');
    std::wstring title(kPathBuffer, L'\0');

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(request.selectedFilter);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrFileTitle = title.data();
    ofn.nMaxFileTitle = static_cast<DWORD>(title.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.Flags = request.hideReadOnly ? OFN_HIDEREADONLY : 0;
    if (!GetOpenFileNameW(&ofn)) return std::nullopt;  // cancelled, or the chooser failed

    return platform::FileChoice{narrow(file.c_str()), narrow(title.c_str())};
}

std::optional<Colour> Win32Choosers::chooseColour(Colour initial, platform::ColourOptions options) {
    CHOOSECOLORW cc{};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = GetActiveWindow();
    cc.rgbResult = static_cast<COLORREF>(initial) & 0x00FFFFFF;
    static_assert(std::is_same_v<COLORREF, unsigned long>);
    cc.lpCustColors = customColours_.data();
    cc.Flags = options.startOnInitial ? CC_RGBINIT : 0;
    if (!ChooseColorW(&cc)) return std::nullopt;
    return static_cast<Colour>(cc.rgbResult & 0x00FFFFFF);
}

}  // namespace velmora::win32
