// SPDX-License-Identifier: MIT
// Twips (1/1440 inch) to pixels and back, at the screen's logical dots per inch.
#pragma once

#include <cmath>

#include "platform/types.h"

namespace velmora::qt {

struct TwipScale {
    double perPixelX = 15;  // 1440 / logical dpi: 15 at 96 dpi
    double perPixelY = 15;

    static TwipScale forDpi(double dpiX, double dpiY) {
        return TwipScale{kTwipsPerInch / dpiX, kTwipsPerInch / dpiY};
    }

    int toPixelsX(double twips) const { return static_cast<int>(std::lround(twips / perPixelX)); }
    int toPixelsY(double twips) const { return static_cast<int>(std::lround(twips / perPixelY)); }
    float toTwipsX(double pixels) const { return static_cast<float>(pixels * perPixelX); }
    float toTwipsY(double pixels) const { return static_cast<float>(pixels * perPixelY); }
};

// A rectangle in pixels taken from twips edge by edge, so that neighbours that touch in twips
// touch on screen too.
struct PixelBox {
    int x, y, width, height;
};

inline PixelBox toPixels(const TwipScale& s, double left, double top, double width, double height) {
    const int x = s.toPixelsX(left);
    const int y = s.toPixelsY(top);
    return PixelBox{x, y, s.toPixelsX(left + width) - x, s.toPixelsY(top + height) - y};
}

}  // namespace velmora::qt
