// SPDX-License-Identifier: MIT
// The design of the options dialog: every control of the window as it is created.
#pragma once

#include "platform/form.h"
#include "settings/settings_keys.h"

namespace velmora::dialog {

// Indices of the dialog's controls in the form, in creation order (later ones draw on top).
enum DialogId : int {
    Label1,  // "Time :" ... "Background :", one a row
    Label2,
    Label3,
    Label4,
    Label5,
    Label6,
    Label7,
    ShowColorTime,  // the seven swatches
    ShowColorSection,
    ShowColorTitle,
    ShowColorArtist,
    ShowColorCDTitle,
    ShowColorNextSong,
    ShowColorBackground,
    TextcolorTime,  // the seven "Set Color" buttons
    TextcolorSection,
    TextcolorTitle,
    TextcolorArtist,
    TextcolorCDTitle,
    TextcolorNextSong,
    TextcolorBackground,
    Command1,  // "OK"
    Command3,  // "Cancel"
    Frame1,    // "Default Screen Saver"
    Scrdefault,
    Command2,  // its "Select"
    Frame2,    // "Default Picture"
    Pictdefault,
    Command5,  // its "Select"
    DialogControlCount
};

// The buttons by their role; the design names stay the controls' names.
inline constexpr DialogId kOk = Command1;
inline constexpr DialogId kCancel = Command3;
inline constexpr DialogId kSelectSaver = Command2;
inline constexpr DialogId kSelectPicture = Command5;

inline constexpr int kColourRows = 7;

// The store key of each colour row, from "Time :" down; it also names the row's controls
// (TextcolorTime, ShowColorTime), and "OK" writes the rows in this order.
inline constexpr const char* kRowKeys[kColourRows] = {
    settings::kTimeKey,    settings::kSectionKey,  settings::kTitleKey,     settings::kArtistKey,
    settings::kCDTitleKey, settings::kNextSongKey, settings::kBackgroundKey};

// The row's swatch and "Set Color" button, counted from the "Time :" row.
constexpr DialogId swatchOfRow(int row) {
    return static_cast<DialogId>(ShowColorTime + row);
}
constexpr DialogId buttonOfRow(int row) {
    return static_cast<DialogId>(TextcolorTime + row);
}

Form makeSettingsForm();

}  // namespace velmora::dialog
