// SPDX-License-Identifier: MIT
#include "platform/qt/qt_colours.h"

#include <array>

namespace velmora::qt {

QPalette::ColorRole systemColourRole(int index) {
    // Indices 0..24 of GetSysColor, each with the nearest role of a Qt palette.
    static constexpr std::array<QPalette::ColorRole, 25> kRoles = {
        QPalette::Button,           // scroll bar
        QPalette::Window,           // desktop
        QPalette::Highlight,        // active caption
        QPalette::Window,           // inactive caption
        QPalette::Window,           // menu
        QPalette::Base,             // window (an edit box's background)
        QPalette::WindowText,       // window frame
        QPalette::WindowText,       // menu text
        QPalette::Text,             // window text (an edit box's text)
        QPalette::HighlightedText,  // caption text
        QPalette::Window,           // active border
        QPalette::Window,           // inactive border
        QPalette::Dark,             // application workspace
        QPalette::Highlight,        // highlight
        QPalette::HighlightedText,  // highlight text
        QPalette::Button,           // button face
        QPalette::Dark,             // button shadow
        QPalette::PlaceholderText,  // grey text
        QPalette::ButtonText,       // button text
        QPalette::WindowText,       // inactive caption text
        QPalette::Light,            // button highlight
        QPalette::Shadow,           // 3-D dark shadow
        QPalette::Midlight,         // 3-D light
        QPalette::ToolTipText,      // tooltip text
        QPalette::ToolTipBase,      // tooltip background
    };
    if (index < 0 || index >= static_cast<int>(kRoles.size())) return QPalette::Window;
    return kRoles[static_cast<size_t>(index)];
}

QColor toQColor(Colour colour, const QPalette& palette) {
    if (isSystemColour(colour)) return palette.color(systemColourRole(systemColourIndex(colour)));
    return QColor(redOf(colour), greenOf(colour), blueOf(colour));
}

}  // namespace velmora::qt
