// SPDX-License-Identifier: MIT
#include "platform/win32/command_line.h"

namespace velmora::win32 {

namespace {

bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

// The C runtime's rules: backslashes are literal except before a quotation mark.
void appendQuoted(std::wstring& out, std::wstring_view arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
        out += arg;
        return;
    }
    out += L'"';
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') backslashes = backslashes * 2 + 1;
        out.append(backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');  // they stand before the closing quotation mark
    out += L'"';
}

}  // namespace

std::wstring argumentsOf(std::wstring_view line) {
    size_t i = 0;
    if (!line.empty() && line[0] == L'"') {
        const size_t close = line.find(L'"', 1);
        i = close == std::wstring_view::npos ? line.size() : close + 1;
    }
    while (i < line.size() && !isBlank(line[i])) ++i;
    while (i < line.size() && isBlank(line[i])) ++i;
    return std::wstring(line.substr(i));
}

std::wstring commandLineFor(std::wstring_view program, const std::vector<std::wstring>& args) {
    std::wstring line = L"\"";
    line += program;
    line += L'"';
    for (const auto& arg : args) {
        line += L' ';
        appendQuoted(line, arg);
    }
    return line;
}

}  // namespace velmora::win32
