// SPDX-License-Identifier: MIT
#include "dialog/settings_form.h"

#include <string>

namespace velmora::dialog {
namespace {

constexpr float kRowTop = 120;
constexpr float kRowPitch = 480;

constexpr const char* kRowCaptions[kColourRows] = {
    "Time :",     "Section Title :", "Title :",     "Artist :",
    "CD Title :", "Next Song :",     "Background :"};

// Keyboard order: "OK", the saver's "Select", "Cancel", the saver's name, the seven "Set Color"
// buttons, the picture's name, the picture's "Select".
constexpr int kOkTab = 0;
constexpr int kSaverSelectTab = 1;
constexpr int kCancelTab = 2;
constexpr int kSaverNameTab = 3;
constexpr int kFirstSetColourTab = 4;
constexpr int kPictureNameTab = kFirstSetColourTab + kColourRows;
constexpr int kPictureSelectTab = kPictureNameTab + 1;

Control make(std::string name, ControlKind kind, std::string text, float left, float top,
             float width, float height, int tabIndex = -1) {
    Control c;
    c.name = std::move(name);
    c.kind = kind;
    c.text = std::move(text);
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.tabIndex = tabIndex;
    // The desktop's colours, but a font the twip layout was drawn for: a desktop font larger than
    // 8 points would clip "Section Title :" and "Background :".
    c.font = Font{"Arial", 8.25f, 400};
    c.foreColour = kSystemButtonText;
    c.backColour = kSystemButtonFace;
    return c;
}

// A name box sits inside its frame, placed relative to it.
Control nameBox(std::string name, int frame, int tabIndex) {
    Control c = make(std::move(name), ControlKind::EditBox, "", 120, 240, 2775, 375, tabIndex);
    c.container = frame;
    c.foreColour = kSystemWindowText;
    c.backColour = kSystemWindow;
    return c;
}

}  // namespace

Form makeSettingsForm() {
    Form form;
    form.name = "SettingsForm";
    form.caption = "Velmora2000 Options";
    // Only the client area is ours; the frame and title bar are the platform's.
    form.clientWidth = 4575;
    form.clientHeight = 5340;
    form.width = form.clientWidth;
    form.height = form.clientHeight;
    form.setBackColour(kSystemButtonFace);

    for (int row = 0; row < kColourRows; ++row) {
        Control caption = make("Label" + std::to_string(row + 1), ControlKind::Label,
                               kRowCaptions[row], 120, kRowTop + row * kRowPitch, 1095, 255);
        caption.alignment = Alignment::Left;  // a caption reads into its swatch
        form.add(std::move(caption));
    }
    for (int row = 0; row < kColourRows; ++row) {
        Control swatch = make(std::string("ShowColor") + kRowKeys[row], ControlKind::Swatch, "",
                              1440, kRowTop + row * kRowPitch, 375, 375);
        swatch.backColour = 0;
        form.add(std::move(swatch));
    }
    for (int row = 0; row < kColourRows; ++row)
        form.add(make(std::string("Textcolor") + kRowKeys[row], ControlKind::Button, "Set Color",
                      1920, kRowTop + row * kRowPitch, 1215, 375, kFirstSetColourTab + row));

    form.add(make("Command1", ControlKind::Button, "OK", 3360, 120, 1095, 375, kOkTab));
    form.add(make("Command3", ControlKind::Button, "Cancel", 3360, 600, 1095, 375, kCancelTab));

    const int frame1 =
        form.add(make("Frame1", ControlKind::Frame, "Default Screen Saver", 120, 3480, 4335, 735));
    form.add(nameBox("Scrdefault", frame1, kSaverNameTab));
    form.add(
        make("Command2", ControlKind::Button, "Select", 3120, 3720, 1095, 375, kSaverSelectTab));

    const int frame2 =
        form.add(make("Frame2", ControlKind::Frame, "Default Picture", 120, 4320, 4335, 735));
    form.add(nameBox("Pictdefault", frame2, kPictureNameTab));
    form.add(
        make("Command5", ControlKind::Button, "Select", 3120, 4560, 1095, 375, kPictureSelectTab));
    return form;
}

}  // namespace velmora::dialog
