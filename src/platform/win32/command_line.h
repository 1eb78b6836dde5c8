// SPDX-License-Identifier: MIT
// Reading and building Windows command lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::win32 {

// The text after the program's name, as GetCommandLineW gives the whole line: the name ends at its
// closing quotation mark, or at the first blank when it is not quoted; the blanks after it go too.
std::wstring argumentsOf(std::wstring_view commandLine);

// A command line that starts program (always quoted, so a path with blanks names one file) with
// args, each quoted only when it needs to be, so that the C runtime reads back the same args.
std::wstring commandLineFor(std::wstring_view program, const std::vector<std::wstring>& args);

}  // namespace velmora::win32
