// SPDX-License-Identifier: MIT
// Twips (1/1440 inch) to the screen's pixels and back, with the screen's real dots per inch.
#pragma once

#include <cmath>

#include "platform/types.h"

namespace velmora::win32 {

struct Dpi {
    int x = 96;
    int y = 96;

    int pixelsX(float twips) const {
        return static_cast<int>(std::lround(twips * x / kTwipsPerInch));
    }
    int pixelsY(float twips) const {
        return static_cast<int>(std::lround(twips * y / kTwipsPerInch));
    }
    float twipsX(int pixels) const { return static_cast<float>(pixels * kTwipsPerInch / x); }
    float twipsY(int pixels) const { return static_cast<float>(pixels * kTwipsPerInch / y); }
    // A font's height for CreateFont: negative, so that it is the character height.
    int fontHeight(float points) const { return -static_cast<int>(std::lround(points * y / 72.0)); }
};

}  // namespace velmora::win32
