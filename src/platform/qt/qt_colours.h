// SPDX-License-Identifier: MIT
// The core's colours (0x00BBGGRR, or a system colour index) as Qt colours.
#pragma once

#include <QColor>
#include <QPalette>

#include "platform/types.h"

namespace velmora::qt {

// The palette role that stands for a Win32 system colour index (GetSysColor numbering).
QPalette::ColorRole systemColourRole(int index);

// A plain colour as is; a system colour looked up in palette.
QColor toQColor(Colour colour, const QPalette& palette);

}  // namespace velmora::qt
