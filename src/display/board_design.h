// SPDX-License-Identifier: MIT
// The design of the now-playing board: every control of the main window as it is created.
#pragma once

#include "platform/form.h"

namespace velmora::display {

// Indices of the board's controls in the form, in creation order.
enum Id : int {
    Label1,
    Artist,
    Title,
    Album,
    CDImage,
    Label3,
    ElapsedTime,
    Label4,
    TotalTime,
    Label2,
    NextArtist,
    NextTitle,
    NextAlbum,
    List1,
    ControlCount
};

inline constexpr float kCanvasWidth = 12240;  // twips
inline constexpr float kCanvasHeight = 9300;
inline constexpr int kNotifyInterval = 5000;  // ms

inline constexpr Colour kDarkYellow = 0x0000C0C0;
inline constexpr Colour kGreen = 0x0000C000;
inline constexpr Colour kLightGrey = 0x00C0C0C0;
inline constexpr Colour kBlack = 0;

Form makeBoard();

}  // namespace velmora::display
