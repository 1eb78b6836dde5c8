// SPDX-License-Identifier: MIT
// Plain value types shared by the core and every backend.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace velmora {

// A colour laid out as 0x00BBGGRR (red in the low byte).
using Colour = std::int32_t;

constexpr int redOf(Colour c) {
    return c & 0xFF;
}
constexpr int greenOf(Colour c) {
    return (c >> 8) & 0xFF;
}
constexpr int blueOf(Colour c) {
    return (c >> 16) & 0xFF;
}
constexpr Colour rgb(int r, int g, int b) {
    return r | (g << 8) | (b << 16);
}

// A colour of the desktop's theme rather than an RGB value: the high bit set and the system
// colour's index (Win32's GetSysColor numbering) in the low byte. Backends map it to their own.
constexpr Colour systemColour(int index) {
    return static_cast<Colour>(0x80000000u | static_cast<unsigned>(index));
}
constexpr bool isSystemColour(Colour c) {
    return c < 0;
}
constexpr int systemColourIndex(Colour c) {
    return c & 0xFF;
}
inline constexpr Colour kSystemWindow = systemColour(5);       // an edit box's background
inline constexpr Colour kSystemWindowText = systemColour(8);   // an edit box's text
inline constexpr Colour kSystemButtonFace = systemColour(15);  // a dialog's background
inline constexpr Colour kSystemButtonText = systemColour(18);  // a dialog's captions

struct PixelRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// Forms are laid out in twips, whatever the screen.
inline constexpr double kTwipsPerInch = 1440;

struct TwipSize {
    float width = 0;
    float height = 0;
};

// Error numbers carried by a Failure; the handlers that retry or trap look at them.
enum class ErrorCode : int {
    Overflow = 6,
    TypeMismatch = 13,
    FileNotFound = 53,
    PermissionDenied = 70,
    InvalidProcedureCall = 5,
    InvalidPicture = 481,
    Cancelled = 32755,
};

// A failed step. Handlers without a trap let it end the program with an error report.
class Failure : public std::runtime_error {
  public:
    Failure(ErrorCode code, const std::string& what) : std::runtime_error(what), code_(code) {}
    ErrorCode code() const { return code_; }

  private:
    ErrorCode code_;
};

// Narrows a control's result to the 16-bit value the program stores; out of range is an overflow.
inline std::int16_t toInt16(std::int64_t value) {
    if (value < INT16_MIN || value > INT16_MAX)
        throw Failure(ErrorCode::Overflow,
                      "Overflow: " + std::to_string(value) + " is not a 16-bit value");
    return static_cast<std::int16_t>(value);
}

}  // namespace velmora
