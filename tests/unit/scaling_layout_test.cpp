// SPDX-License-Identifier: MIT
// Fitting the board to the screen: the factors, the single-precision products, and which
// properties follow which axis.
#include <gtest/gtest.h>

#include <limits>

#include "display/board_design.h"
#include "display/board_scaling.h"
#include "fake/fake_platform.h"

namespace velmora {
namespace {

using fake::FakePlatform;

Form scaledBoard(TwipSize screen) {
    FakePlatform store;
    Form board = display::makeBoard();
    display::applyScalingAndColours(board, screen, store);
    return board;
}

bool isScaled(const Control& c) {
    return c.kind == ControlKind::Label || c.kind == ControlKind::TextField ||
           c.kind == ControlKind::Picture || c.kind == ControlKind::List;
}

TEST(ScalingLayout, TheCanvasSizeKeepsEveryControlAsDesigned) {
    const Form design = display::makeBoard();
    const Form board = scaledBoard({12240, 9300});
    const auto f = display::scaleFactorsFor({12240, 9300});
    EXPECT_EQ(f.x, 1.0f);
    EXPECT_EQ(f.y, 1.0f);
    for (int i = 0; i < board.count(); ++i) {
        EXPECT_EQ(board[i].left, design[i].left) << board[i].name;
        EXPECT_EQ(board[i].top, design[i].top) << board[i].name;
        EXPECT_EQ(board[i].width, design[i].width) << board[i].name;
        EXPECT_EQ(board[i].height, design[i].height) << board[i].name;
        EXPECT_EQ(board[i].font.size, design[i].font.size) << board[i].name;
    }
}

// Widths and lefts follow the width; heights, tops and font sizes the height. The timer and the
// link controls stay where designed.
TEST(ScalingLayout, EachPropertyFollowsItsOwnAxis) {
    const Form design = display::makeBoard();
    for (auto [wide, high] : {std::pair{2.0f, 1.0f}, std::pair{1.0f, 2.0f}}) {
        const Form board = scaledBoard({wide * 12240, high * 9300});
        for (int i = 0; i < board.count(); ++i) {
            const Control& c = design[i];
            const float x = isScaled(c) ? wide : 1.0f;
            const float y = isScaled(c) ? high : 1.0f;
            const float font = c.kind == ControlKind::Picture ? 1.0f : y;
            const std::string what = c.name + (wide > 1 ? " wide" : " high");
            EXPECT_EQ(board[i].left, c.left * x) << what;
            EXPECT_EQ(board[i].width, c.width * x) << what;
            EXPECT_EQ(board[i].top, c.top * y) << what;
            EXPECT_EQ(board[i].height, c.height * y) << what;
            EXPECT_EQ(board[i].font.size, c.font.size * font) << what;
        }
    }
    // The picture keeps its place relative to the screen.
    const Form wide = scaledBoard({2 * 12240, 9300});
    EXPECT_EQ(wide[display::CDImage].left, 7200);
    EXPECT_EQ(wide[display::CDImage].width, 9870);
}

// 1366 x 768 pixels at 15 twips a pixel. The expected values were worked out apart from the
// program: the factor kept in single precision, each product rounded once. A factor kept in
// double precision gives another result for the values marked so.
TEST(ScalingLayout, AnAwkwardScreenGivesSinglePrecisionProducts) {
    const TwipSize screen{1366 * 15, 768 * 15};
    const auto f = display::scaleFactorsFor(screen);
    EXPECT_EQ(f.x, 0x1.ac8c8cp+0f);
    EXPECT_EQ(f.y, 0x1.3d1c14p+0f);

    const Form board = scaledBoard(screen);
    struct Case {
        display::Id id;
        float left, top, width, height, font;
    } cases[] = {
        // Width 11655 and font 21.75 differ with a double factor.
        {display::Artist, 401.76470947265625f, 1040.51611328125f, 19510.697265625f,
         613.1613159179688f, 26.941936492919922f},
        {display::Label1, 401.76470947265625f, 594.5806274414062f, 19510.697265625f,
         464.5161437988281f, 19.50967788696289f},
        // Left 1560 differs with a double factor.
        {display::Label3, 2611.470458984375f, 5648.51611328125f, 2435.698486328125f,
         315.8709716796875f, 10.219354629516602f},
        {display::TotalTime, 15267.05859375f, 5945.806640625f, 2435.698486328125f,
         613.1613159179688f, 26.941936492919922f},
        // Top 8640 differs with a double factor.
        {display::NextAlbum, 401.76470947265625f, 10702.4521484375f, 19510.697265625f,
         464.5161437988281f, 19.50967788696289f},
        {display::List1, 803.5294189453125f, 6837.67724609375f, 5248.05126953125f, 2211.0966796875f,
         10.219354629516602f},
    };
    for (const auto& c : cases) {
        const Control& got = board[c.id];
        EXPECT_EQ(got.left, c.left) << got.name;
        EXPECT_EQ(got.top, c.top) << got.name;
        EXPECT_EQ(got.width, c.width) << got.name;
        EXPECT_EQ(got.height, c.height) << got.name;
        EXPECT_EQ(got.font.size, c.font) << got.name;
    }
    // The picture: its width differs with a double factor; it has no font of its own.
    const Control& image = board[display::CDImage];
    EXPECT_EQ(image.left, 6026.470703125f);
    EXPECT_EQ(image.top, 2824.258056640625f);
    EXPECT_EQ(image.width, 8261.2861328125f);
    EXPECT_EQ(image.height, 6113.0322265625f);
    EXPECT_EQ(image.font.size, display::makeBoard()[display::CDImage].font.size);
}

TEST(ScalingLayout, ScalesFromTheCurrentValuesOnce) {
    Form board = display::makeBoard();
    board.setLeft(display::Title, 1000);
    FakePlatform store;
    display::applyScalingAndColours(board, {3 * 12240, 9300}, store);
    EXPECT_EQ(board[display::Title].left, 3000);
    EXPECT_EQ(board[display::Album].left, 720);
}

TEST(ScalingLayout, AFactorThatIsNoNumberIsAnOverflow) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (TwipSize screen : {TwipSize{inf, 9300}, TwipSize{12240, nan}}) {
        try {
            display::scaleFactorsFor(screen);
            ADD_FAILURE() << "no failure";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.code(), ErrorCode::Overflow);
        }
    }
    // A product beyond single precision overflows as well.
    Form board = display::makeBoard();
    board.setWidth(display::Title, 3e38f);
    FakePlatform store;
    EXPECT_THROW(display::applyScalingAndColours(board, {2 * 12240, 9300}, store), Failure);
}

}  // namespace
}  // namespace velmora
