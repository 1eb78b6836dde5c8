// SPDX-License-Identifier: MIT
// Long names: a smaller size of the field's font, in steps down to 60 %, then a cut with "…".
#include <gtest/gtest.h>

#include "display/text_fit.h"
#include "message_harness.h"

namespace velmora {
namespace {

TEST(TextFit, ShrinksInStepsThenCutsBetweenCharacters) {
    // The fake draws every code point size × 10 twips wide: at 20 pt, ten fill the 2000 twips.
    struct Case {
        std::string text;
        std::optional<FittedText> fitted;
    } cases[] = {
        {"", std::nullopt},
        {"abcdefghij", std::nullopt},                              // just fits: drawn as it is
        {"abcdefghijk", FittedText{18, "abcdefghijk"}},            // 90 %
        {"abcdefghijklmnop", FittedText{12, "abcdefghijklmnop"}},  // 60 %, the last step
        {"abcdefghijklmnopq", FittedText{12, "abcdefghijklmno…"}},
        {"aaaaaaaaaaaaaa bbbbbbb", FittedText{12, "aaaaaaaaaaaaaa…"}},  // no space before "…"
        {"東京東京東京東京東京東京東京東京東京", FittedText{12, "東京東京東京東京東京東京東京東…"}},
        {"aaaaaaaaaaaaaae\u0301bbbb", FittedText{12, "aaaaaaaaaaaaaa…"}},  // é stays whole
        {std::string(20, '\xFF'), FittedText{12, std::string(15, '\xFF') + "…"}},
    };
    fake::FakePlatform platform;
    for (const Case& c : cases) {
        Control field;
        field.width = 2000;
        field.font = Font{"Arial", 20, 700};
        field.text = c.text;
        EXPECT_EQ(display::fitText(field, platform), c.fitted) << c.text;
    }
}

TEST(TextFit, TheBoardFitsItsNamesAndKeepsTheirText) {
    testing::RunningBoard b;
    const std::string longTitle(120, 'x');
    b.deliver(testing::playing("Album", "Artist", longTitle, "3:00", ""));
    const Control& title = b.app.mainWindow()->form()[display::Title];
    EXPECT_EQ(title.text, longTitle);
    ASSERT_TRUE(title.fitted);
    EXPECT_FLOAT_EQ(title.fitted->size, title.font.size * 0.6f);
    EXPECT_LT(b.platform.textWidth(title.drawnFont(), title.drawnText()), title.width);
    EXPECT_FALSE(b.app.mainWindow()->form()[display::Album].fitted);
    b.deliver(testing::playing("Album", "Artist", "Short", "3:00", ""));
    EXPECT_FALSE(title.fitted);
}

}  // namespace
}  // namespace velmora
