// SPDX-License-Identifier: MIT
// Framing and the lines of the link protocol.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "velmora/link_protocol.h"

namespace velmora::link {
namespace {

using Lines = std::vector<std::string>;

Lines feedAll(LineReader& reader, const std::vector<std::string_view>& chunks) {
    Lines out;
    for (auto chunk : chunks)
        reader.feed(chunk, [&](std::string_view line) { out.emplace_back(line); });
    return out;
}

Lines feedAll(const std::vector<std::string_view>& chunks) {
    LineReader reader;
    return feedAll(reader, chunks);
}

TEST(LineReader, EverySplitOfTheStreamGivesTheSameLines) {
    // CR LF and LF endings, an empty line, multi-byte characters, a CR inside a line, and a
    // partial line at the end that is never completed.
    const std::string stream =
        "VELMORA-LINK 1 demo\r\nMSG cdjr playing Caf\xC3\xA9\",\"\xE2\x82\xAC 5\n\nMSG cdjr "
        "time 0:01\r\nMSG cdjr a\rb\nMSG cdjr \xF0\x9F\x8E\xB5\r\nMSG cdjr unfinished";
    const Lines expected = {"VELMORA-LINK 1 demo",
                            "MSG cdjr playing Caf\xC3\xA9\",\"\xE2\x82\xAC 5",
                            "",
                            "MSG cdjr time 0:01",
                            "MSG cdjr a\rb",
                            "MSG cdjr \xF0\x9F\x8E\xB5"};
    const std::string_view s = stream;
    for (std::size_t i = 0; i <= s.size(); ++i)
        for (std::size_t j = i; j <= s.size(); ++j)
            ASSERT_EQ(feedAll({s.substr(0, i), s.substr(i, j - i), s.substr(j)}), expected)
                << "split at " << i << " and " << j;

    LineReader reader;
    Lines bytewise;
    for (char c : stream)
        reader.feed(std::string_view(&c, 1),
                    [&](std::string_view line) { bytewise.emplace_back(line); });
    EXPECT_EQ(bytewise, expected);
    EXPECT_EQ(reader.buffered(), std::string_view("MSG cdjr unfinished").size());
}

TEST(LineReader, LineLengthLimitCountsWithoutTheTerminator) {
    const std::string max(kMaxLineBytes, 'x');
    const std::string over(kMaxLineBytes + 1, 'x');
    struct Case {
        std::string input;
        Lines expected;
    } cases[] = {
        {max + "\n", {max}},
        {max + "\r\n", {max}},
        {over + "\n", {}},
        {over + "\r\n", {}},
        {over + "x\r\n", {}},
        {std::string(100000, 'y') + "\nafter\n", {"after"}},
        {"before\n" + over + "\nafter\n", {"before", "after"}},
        {"\r\n", {""}},
        {"a\r\r\n", {"a\r"}},
    };
    for (const auto& c : cases) {
        const std::string_view s = c.input;
        EXPECT_EQ(feedAll({s}), c.expected) << c.input.size();
        // The same, cut so that the limit is crossed inside a chunk and across chunks.
        for (std::size_t cut : {std::size_t{1}, kMaxLineBytes - 1, kMaxLineBytes, kMaxLineBytes + 1,
                                kMaxLineBytes + 2})
            if (cut < s.size()) {
                EXPECT_EQ(feedAll({s.substr(0, cut), s.substr(cut)}), c.expected)
                    << c.input.size() << " cut at " << cut;
            }
    }
}

TEST(LineReader, AFloodWithoutLineEndsKeepsTheBufferBounded) {
    LineReader reader;
    Lines out;
    const std::string chunk(64 * 1024, 'z');
    std::size_t most = 0;
    for (int i = 0; i < 256; ++i) {  // 16 MiB
        reader.feed(chunk, [&](std::string_view line) { out.emplace_back(line); });
        most = std::max(most, reader.buffered());
    }
    EXPECT_LE(most, kMaxLineBytes + 1);
    EXPECT_EQ(reader.buffered(), 0u);  // nothing of an over-long line is kept
    reader.feed("zzz\nMSG cdjr ok\n", [&](std::string_view line) { out.emplace_back(line); });
    EXPECT_EQ(out, Lines{"MSG cdjr ok"});
}

TEST(LineReader, InvalidUtf8LinesAreDroppedAlone) {
    const char* invalid[] = {
        "\x80",              // lone continuation byte
        "\xC0\x80",          // overlong NUL
        "\xC1\xBF",          // overlong
        "\xE0\x80\x80",      // overlong
        "\xE2\x82",          // cut short
        "\xED\xA0\x80",      // surrogate
        "\xF0\x80\x80\x80",  // overlong
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xF5\x80\x80\x80",  // no such lead byte
        "\xFF",
        "\xE2\x28\xA1",  // bad second byte
        "\xE2\x82\x28",  // bad third byte
        "abcdefgh\x80",  // after the ASCII fast path
        "abcdefg\xC3",   // cut short at the end of a word
    };
    for (const char* bad : invalid) {
        const std::string stream = std::string("ok1\n") + bad + "\nok2\n";
        EXPECT_EQ(feedAll({stream}), (Lines{"ok1", "ok2"})) << stream;
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
    }
    const char* valid[] = {
        "\xC2\x80",         "\xDF\xBF",         "\xE0\xA0\x80",     "\xED\x9F\xBF",
        "\xEE\x80\x80",     "\xEF\xBF\xBF",     "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF",
        "abcdefgh\xC3\xA9", "abcdefg\xC3\xA9x",
    };
    for (const char* good : valid) EXPECT_TRUE(isValidUtf8(good)) << good;
}

TEST(LineReader, APeerClosingMidLineDropsThePartialLine) {
    LineReader reader;
    Lines out = feedAll(reader, {"MSG cdjr first\nMSG cdjr par"});
    reader.reset();
    const Lines after = feedAll(reader, {"tial\nVELMORA-LINK 1\n"});
    out.insert(out.end(), after.begin(), after.end());
    EXPECT_EQ(out, (Lines{"MSG cdjr first", "tial", "VELMORA-LINK 1"}));

    // Also in the middle of an over-long line: the next stream starts clean.
    feedAll(reader, {std::string(kMaxLineBytes + 10, 'x')});
    reader.reset();
    EXPECT_EQ(feedAll(reader, {"next\n"}), Lines{"next"});
}

TEST(Validation, EndpointNamesAndTexts) {
    struct Case {
        std::string value;
        bool endpoint;
        bool text;
    } cases[] = {
        {"cdj", true, true},
        {"", false, true},
        {std::string(kMaxEndpointBytes, 'e'), true, true},
        {std::string(kMaxEndpointBytes + 1, 'e'), false, true},
        {"a b", false, true},
        {"a\tb", false, true},
        {"a\x7F", false, true},
        {"a\xC2\x85", false, true},  // NEL, a control character
        {"\xC3\xA9t\xC3\xA9", true, true},
        {"a\nb", false, false},
        {"a\rb", false, false},
        {std::string("a\0b", 3), false, false},
        {"\xFF", false, false},
        {"playlist_getitem[12]", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isValidEndpoint(c.value), c.endpoint) << c.value;
        EXPECT_EQ(isValidText(c.value), c.text) << c.value;
    }
}

TEST(Lines, ParseWhatEachSideSends) {
    using K = Line::Kind;
    struct Case {
        bool fromService;
        std::string line;
        K kind;
        std::string endpoint;
        std::string text;
    } cases[] = {
        {true, "VELMORA-LINK 1 velmora-jukebox 1.0 demo", K::Hello, "", "velmora-jukebox 1.0 demo"},
        {true, "VELMORA-LINK 1", K::Hello, "", ""},
        {true, "VELMORA-LINK 10", K::Invalid, "", ""},
        {true, "VELMORA-LINK 2 future", K::Invalid, "", ""},
        {true, "MSG cdjr playing a\",\"b c", K::Message, "cdjr", "playing a\",\"b c"},
        {true, "MSG cdjr ", K::Message, "cdjr", ""},
        {true, "MSG cdjr", K::Message, "cdjr", ""},
        {true, "MSG cdjr  two leading", K::Message, "cdjr", " two leading"},
        {true, "MSG  x", K::Invalid, "", ""},
        {true, "MSG", K::Invalid, "", ""},
        {true, "MSGX cdjr x", K::Invalid, "", ""},
        {true, "msg cdjr x", K::Invalid, "", ""},
        {true, "MSG cdjr a\rb", K::Invalid, "", ""},
        {true, "ERROR unsupported protocol", K::Error, "", "unsupported protocol"},
        {true, "OPEN cdj type=devtx", K::Invalid, "", ""},
        {false, "VELMORA-LINK 1", K::Hello, "", ""},
        {false, "VELMORA-LINK 1 extra", K::Invalid, "", ""},
        {false, "OPEN cdj type=devtx", K::Open, "cdj", "type=devtx"},
        {false, "OPEN cdj", K::Open, "cdj", ""},
        {false, "SEND cdj playlist_getitem[3]", K::Send, "cdj", "playlist_getitem[3]"},
        {false, "SEND cdj with spaces ", K::Send, "cdj", "with spaces "},
        {false, "CLOSE cdjr", K::Close, "cdjr", ""},
        {false, "CLOSE cdjr x", K::Invalid, "", ""},
        {false, "CLOSE", K::Invalid, "", ""},
        {false, "MSG cdjr x", K::Invalid, "", ""},
    };
    for (const auto& c : cases) {
        const Line parsed = c.fromService ? parseServiceLine(c.line) : parseClientLine(c.line);
        EXPECT_EQ(parsed.kind, c.kind) << c.line;
        EXPECT_EQ(parsed.endpoint, c.endpoint) << c.line;
        EXPECT_EQ(parsed.text, c.text) << c.line;
    }
}

}  // namespace
}  // namespace velmora::link
