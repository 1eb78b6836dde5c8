// SPDX-License-Identifier: MIT
#include "display/board_design.h"

namespace velmora::display {
namespace {

struct Row {
    Id id;
    const char* name;
    ControlKind kind;
    const char* text;
    float left, top, width, height;
    float points;
    int weight;
    Colour fore;
};

constexpr int kNormal = 400;
constexpr int kBold = 700;

// Text fields and labels, each black with centred text.
constexpr Row kRows[] = {
    {Label1, "Label1", ControlKind::Label, "Currently Playing:", 240, 480, 11655, 375, 15.75f,
     kNormal, kLightGrey},
    {Artist, "Artist", ControlKind::TextField, "Artist", 240, 840, 11655, 495, 21.75f, kBold,
     kDarkYellow},
    {Title, "Title", ControlKind::TextField, "Title", 240, 1320, 11655, 495, 21.75f, kNormal,
     kDarkYellow},
    {Album, "Album", ControlKind::TextField, "Album", 240, 1800, 11655, 375, 15.75f, kNormal,
     kDarkYellow},
    {Label3, "Label3", ControlKind::Label, "Elapsed Time", 1560, 4560, 1455, 255, 8.25f, kNormal,
     kGreen},
    {ElapsedTime, "ElapsedTime", ControlKind::TextField, "", 1560, 4800, 1455, 495, 21.75f, kNormal,
     kGreen},
    {Label4, "Label4", ControlKind::Label, "Total Time", 9120, 4560, 1455, 255, 8.25f, kNormal,
     kGreen},
    {TotalTime, "TotalTime", ControlKind::TextField, "", 9120, 4800, 1455, 495, 21.75f, kNormal,
     kGreen},
    {Label2, "Label2", ControlKind::Label, "Next Up:", 240, 7320, 11655, 375, 15.75f, kNormal,
     kLightGrey},
    {NextArtist, "NextArtist", ControlKind::TextField, "", 240, 7680, 11655, 495, 21.75f, kBold,
     kDarkYellow},
    {NextTitle, "NextTitle", ControlKind::TextField, "", 240, 8160, 11655, 495, 21.75f, kNormal,
     kDarkYellow},
    {NextAlbum, "NextAlbum", ControlKind::TextField, "", 240, 8640, 11655, 375, 15.75f, kNormal,
     kDarkYellow},
};

Control textControl(const Row& row) {
    Control c;
    c.name = row.name;
    c.kind = row.kind;
    c.text = row.text;
    c.left = row.left;
    c.top = row.top;
    c.width = row.width;
    c.height = row.height;
    c.font = Font{"Arial", row.points, row.weight};
    c.foreColour = row.fore;
    c.backColour = kBlack;
    // The names of the two tracks; the times and the captions are short.
    for (Id named : {Artist, Title, Album, NextArtist, NextTitle, NextAlbum})
        if (row.id == named) c.shrinkToFit = true;
    return c;
}

}  // namespace

Form makeBoard() {
    Form form;
    form.name = "Velmora";
    form.caption = "";
    form.width = kCanvasWidth;
    form.height = kCanvasHeight;
    form.clientWidth = kCanvasWidth - 30;  // one-pixel frame on every side
    form.clientHeight = kCanvasHeight - 30;

    Control slots[ControlCount];
    for (const Row& row : kRows) slots[row.id] = textControl(row);

    Control& image = slots[CDImage];
    image.name = "CDImage";
    image.kind = ControlKind::Picture;
    image.left = 3600;
    image.top = 2280;
    image.width = 4935;
    image.height = 4935;
    image.backColour = kBlack;

    Control& list = slots[List1];
    list.name = "List1";
    list.kind = ControlKind::List;
    list.left = 480;
    list.top = 5520;
    list.width = 3135;
    list.height = 1785;
    list.backColour = kBlack;
    list.visible = false;
    list.enabled = false;

    for (Control& c : slots) form.add(std::move(c));
    return form;
}

}  // namespace velmora::display
