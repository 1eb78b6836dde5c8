// Fits the board to the screen and applies the stored colour scheme, once at start-up.
#pragma once

#include "platform/form.h"
#include "platform/services.h"

namespace velmora::board {

void applyScalingAndColours(Form& board, TwipSize screen, platform::SettingsStore& store);

}  // namespace velmora::board
