// SPDX-License-Identifier: MIT
// Colours as decimal texts in the settings store.
#include <gtest/gtest.h>

#include <climits>

#include "settings/colour_text.h"

namespace velmora::settings {
namespace {

TEST(ColourText, WritesPlainDecimalDigits) {
    struct Case {
        Colour colour;
        const char* text;
    } cases[] = {
        {0, "0"},
        {rgb(255, 0, 0), "255"},
        {rgb(0, 255, 0), "65280"},
        {rgb(0, 0, 255), "16711680"},
        {rgb(255, 255, 255), "16777215"},
        {-1, "-1"},
        {INT32_MIN, "-2147483648"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(colourText(c.colour), c.text);
        EXPECT_EQ(parseColour(c.text), c.colour) << c.text;
    }
}

TEST(ColourText, ReadsDecimalIntegersInTheSignedRangeOnly) {
    struct Case {
        const char* text;
        std::optional<Colour> colour;
    } cases[] = {
        {"16777215", rgb(255, 255, 255)},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"  49344 ", 49344},
        {"007", 7},
        {"-0", 0},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"4294967295", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"-", std::nullopt},
        {"red", std::nullopt},
        {"12red", std::nullopt},
        {"12 34", std::nullopt},
        {"+5", std::nullopt},
        {"1.0", std::nullopt},
        {"1e3", std::nullopt},
        {"0x10", std::nullopt},
        {"&HFF", std::nullopt},
        {"\t5", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(parseColour(c.text), c.colour) << "[" << c.text << "]";
    EXPECT_EQ(parseColour(std::string(1000, '9')), std::nullopt);
}

}  // namespace
}  // namespace velmora::settings
