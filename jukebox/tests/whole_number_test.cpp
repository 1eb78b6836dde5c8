// SPDX-License-Identifier: MIT
#include "velmora/whole_number.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(DecimalNumber, TheWholeTextIsTheNumberOrThereIsNone) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"1.5", 1.5},
        {"2", 2.0},
        {"1e3", 1000.0},
        {"-0.25", -0.25},
        {"", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"+1", std::nullopt},
        {"1.5x", std::nullopt},
        {"0x10", std::nullopt},
        {"1e999", std::nullopt},
    };
    for (const auto& [text, number] : cases)
        EXPECT_EQ(velmora::decimalNumber(text), number) << text;
    EXPECT_TRUE(std::isnan(velmora::decimalNumber("nan").value_or(0)));
    // A whole number has no fraction.
    EXPECT_EQ(velmora::wholeNumber<unsigned>("1.5"), std::nullopt);
    EXPECT_EQ(velmora::wholeNumber<unsigned>("15"), 15u);
}

}  // namespace
