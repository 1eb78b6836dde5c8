// SPDX-License-Identifier: MIT
#include "display/board_scaling.h"

#include <cmath>

#include "display/board_design.h"
#include "settings/colour_text.h"
#include "settings/settings_keys.h"

namespace velmora::display {
namespace {

// The controls whose text colour follows a setting, in the order they are scaled and coloured.
struct Coloured {
    Id id;
    const char* key;
};

constexpr Coloured kColoured[] = {
    {Title, settings::kTitleKey},         {Album, settings::kCDTitleKey},
    {Artist, settings::kArtistKey},       {ElapsedTime, settings::kTimeKey},
    {TotalTime, settings::kTimeKey},      {NextAlbum, settings::kNextSongKey},
    {NextArtist, settings::kNextSongKey}, {NextTitle, settings::kNextSongKey},
    {Label1, settings::kSectionKey},      {Label2, settings::kSectionKey},
    {Label3, settings::kTimeKey},         {Label4, settings::kTimeKey},
};

// Title's background goes to these, in this order; the board itself comes between the fields and
// the labels.
constexpr Id kBackgroundFields[] = {Album,     Artist,     ElapsedTime, TotalTime,
                                    NextAlbum, NextArtist, NextTitle};
constexpr Id kBackgroundLabels[] = {Label1, Label2, Label3, Label4};

// One product of two singles, rounded once to single precision (the double product is exact).
float scaled(float value, float factor) {
    const double product = static_cast<double>(value) * static_cast<double>(factor);
    const auto result = static_cast<float>(product);
    if (!std::isfinite(result))
        throw Failure(ErrorCode::Overflow, "Overflow while fitting the board to the screen");
    return result;
}

float factor(float screen, float canvas) {
    const auto result = static_cast<float>(static_cast<double>(screen) / canvas);
    if (!std::isfinite(result))
        throw Failure(ErrorCode::Overflow, "Overflow while fitting the board to the screen");
    return result;
}

// Sets the control's geometry (and font size) to from's, scaled; from may be the control itself.
void scaleGeometry(Form& board, Id id, const Control& from, ScaleFactors f) {
    board.setHeight(id, scaled(from.height, f.y));
    board.setWidth(id, scaled(from.width, f.x));
    board.setTop(id, scaled(from.top, f.y));
    board.setLeft(id, scaled(from.left, f.x));
}

void scaleGeometryAndFont(Form& board, Id id, const Control& from, ScaleFactors f) {
    scaleGeometry(board, id, from, f);
    board.setFontSize(id, scaled(from.font.size, f.y));
}

// The stored colour under key, or current when the key is absent or its text is no colour.
Colour storedColour(platform::SettingsStore& store, const char* key, Colour current) {
    const std::string text = store.read(settings::kApplication, settings::kColourSection, key,
                                        settings::colourText(current));
    return settings::parseColour(text).value_or(current);
}

}  // namespace

Colour designColour(std::string_view key) {
    const Form design = makeBoard();
    if (key == settings::kBackgroundKey) return design[Title].backColour;
    for (const Coloured& c : kColoured)
        if (key == c.key) return design[c.id].foreColour;
    return kBlack;
}

ScaleFactors scaleFactorsFor(TwipSize screen) {
    return ScaleFactors{factor(screen.width, kCanvasWidth), factor(screen.height, kCanvasHeight)};
}

void applyScalingAndColours(Form& board, TwipSize screen, platform::SettingsStore& store) {
    const ScaleFactors f = scaleFactorsFor(screen);

    scaleGeometry(board, CDImage, board[CDImage], f);

    board.setBackColour(Title,
                        storedColour(store, settings::kBackgroundKey, board[Title].backColour));
    const Colour background = board[Title].backColour;
    for (Id id : kBackgroundFields) board.setBackColour(id, background);
    board.setBackColour(background);
    for (Id id : kBackgroundLabels) board.setBackColour(id, background);

    for (const Coloured& c : kColoured) {
        scaleGeometryAndFont(board, c.id, board[c.id], f);
        board.setForeColour(c.id, storedColour(store, c.key, board[c.id].foreColour));
    }

    scaleGeometryAndFont(board, List1, board[List1], f);
}

void rescaleBoard(Form& board, TwipSize screen) {
    const Form design = makeBoard();
    const ScaleFactors f = scaleFactorsFor(screen);
    scaleGeometry(board, CDImage, design[CDImage], f);
    for (const Coloured& c : kColoured) scaleGeometryAndFont(board, c.id, design[c.id], f);
    scaleGeometryAndFont(board, List1, design[List1], f);
}

}  // namespace velmora::display
