// SPDX-License-Identifier: MIT
// Cutting whole characters and fields out of a message's UTF-8 text.
#include <gtest/gtest.h>

#include <optional>

#include "velmora/field_splitter.h"

namespace velmora::link {
namespace {

using Cut = std::optional<std::string_view>;

TEST(MessageText, DropsWholeCharactersEvenFromBrokenText) {
    EXPECT_EQ(dropFirst("h\xC3\xA9llo", 2), Cut("llo"));
    EXPECT_EQ(dropFirst("\xE2\x82\xAC", 1), Cut(""));
    EXPECT_EQ(dropFirst("\xE2\x82\xAC", 2), std::nullopt);
    EXPECT_EQ(dropFirst("\x80\x80x", 1), Cut("x"));  // stray continuation bytes stay together
    EXPECT_EQ(dropFirst("", 0), Cut(""));
    EXPECT_EQ(dropLast("ab\xF0\x9F\x8E\xB5"), Cut("ab"));
    EXPECT_EQ(dropLast("\x80\x80"), Cut(""));
    EXPECT_EQ(dropLast(""), std::nullopt);
}

TEST(MessageText, FieldsEndAtEachSeparator) {
    FieldSplitter fields("a\",\"\",\"b\"\",\"rest\"");
    EXPECT_EQ(fields.next(), Cut("a"));
    EXPECT_EQ(fields.next(), Cut(""));
    EXPECT_EQ(fields.next(), Cut("b\""));
    EXPECT_EQ(fields.next(), std::nullopt);
    EXPECT_EQ(fields.rest(), "rest\"");
}

}  // namespace
}  // namespace velmora::link
