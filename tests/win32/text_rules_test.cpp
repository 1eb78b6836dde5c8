// SPDX-License-Identifier: MIT
// The conversions at the Windows edge: UTF-8 and UTF-16, command lines, chooser filters, twips.
#include <gtest/gtest.h>

#include <iterator>

#include "platform/win32/command_line.h"
#include "platform/win32/text.h"
#include "platform/win32/units.h"
#include "platform/win32/win32.h"
#include "platform/win32/win32_choosers.h"

#include <shellapi.h>

namespace velmora::win32 {
namespace {

TEST(Text, Utf8AndUtf16RoundTrip) {
    const char* cases[] = {"",
                           "Artist",
                           "Caf\xC3\xA9 & Cr\xC3\xA8me",
                           "\xE2\x99\xAB Next Up",
                           "\xF0\x9F\x92\xBF disc",  // outside the basic plane: a surrogate pair
                           "a\nb\tc"};
    for (const char* text : cases) EXPECT_EQ(narrow(widen(text)), text) << text;
    EXPECT_EQ(widen("\xF0\x9F\x92\xBF").size(), 2u);
    EXPECT_EQ(widen("\xC3\xA9"), L"\u00E9");
}

TEST(Text, BrokenInputBecomesReplacementCharacters) {
    EXPECT_EQ(widen("a\xFF"
                    "b"),
              L"a\uFFFDb");
    EXPECT_EQ(narrow(std::wstring(L"x") + wchar_t(0xD800) + L"y"), "x\xEF\xBF\xBDy");
}

TEST(CommandLine, ArgumentsAreTheTextAfterTheProgramsName) {
    struct Case {
        const wchar_t* line;
        const wchar_t* arguments;
    } cases[] = {
        {L"Velmora2000.scr /S", L"/S"},
        {L"\"C:\\Program Files\\Velmora2000.scr\" /c:1234", L"/c:1234"},
        {L"\"C:\\a b\\x.scr\"   /p 99 ", L"/p 99 "},
        {L"C:\\WINDOWS\\VELMOR~1.SCR\t/S", L"/S"},
        {L"\"C:\\a b\\x.scr\"", L""},
        {L"x.scr", L""},
        {L"", L""},
        {L"\"unclosed quote /S", L""},
        {L"\"C:\\a\"b.scr /S", L"/S"},  // the name runs on to the blank after its quotes
    };
    for (const auto& c : cases) EXPECT_EQ(argumentsOf(c.line), c.arguments) << c.line;
}

TEST(CommandLine, ProgramIsQuotedAndArgumentsReadBackUnchanged) {
    EXPECT_EQ(commandLineFor(L"C:\\Savers\\My Saver.scr", {L"/S"}),
              L"\"C:\\Savers\\My Saver.scr\" /S");
    EXPECT_EQ(commandLineFor(L"C:\\x.scr", {}), L"\"C:\\x.scr\"");

    const std::vector<std::wstring> args = {L"/S",
                                            L"two words",
                                            L"",
                                            L"quote\"inside",
                                            L"trailing\\",
                                            L"dir\\ with\\\\",
                                            L"\\\\server\\share"};
    const std::wstring line = commandLineFor(L"C:\\p.exe", args);
    int count = 0;
    LPWSTR* parsed = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(parsed, nullptr);
    ASSERT_EQ(count, static_cast<int>(args.size()) + 1) << line;
    EXPECT_STREQ(parsed[0], L"C:\\p.exe");
    for (size_t i = 0; i < args.size(); ++i) EXPECT_EQ(parsed[i + 1], args[i]) << line;
    LocalFree(parsed);
}

TEST(Choosers, FilterBecomesNulSeparatedPairsEndedTwice) {
    const std::vector<platform::FileFilter> filters = {{"All Files (*.*)", "*.*"},
                                                       {"Screen Saver File(*.scr)", "*.scr"}};
    const wchar_t text[] = L"All Files (*.*)\0*.*\0Screen Saver File(*.scr)\0*.scr\0";
    const std::wstring expected(text, std::size(text));  // the literal's own NUL is the last
    EXPECT_EQ(filterText(filters), expected);
    EXPECT_EQ(filterText({}), std::wstring(1, L'\0'));
}

TEST(Units, TwipsFollowTheScreensDotsPerInch) {
    struct Case {
        Dpi dpi;
        float twips;
        int pixelsX;
        int pixelsY;
    } cases[] = {
        {{96, 96}, 12240, 816, 816},
        {{96, 96}, 15, 1, 1},
        {{96, 96}, 7, 0, 0},
        {{96, 96}, 8, 1, 1},
        {{120, 120}, 12240, 1020, 1020},
        {{144, 192}, 1440, 144, 192},
        {{96, 96}, -30, -2, -2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.dpi.pixelsX(c.twips), c.pixelsX) << c.twips << " at " << c.dpi.x;
        EXPECT_EQ(c.dpi.pixelsY(c.twips), c.pixelsY) << c.twips << " at " << c.dpi.y;
    }
    const Dpi standard{96, 96};
    const Dpi large{120, 144};
    EXPECT_FLOAT_EQ(standard.twipsX(1), 15.0f);
    EXPECT_FLOAT_EQ(large.twipsY(144), 1440.0f);
    EXPECT_EQ(standard.fontHeight(21.75f), -29);
    EXPECT_EQ(large.fontHeight(8.25f), -17);
}

}  // namespace
}  // namespace velmora::win32
