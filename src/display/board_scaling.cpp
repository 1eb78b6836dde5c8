#include "display/board_scaling.h"

namespace velmora::board {

void applyScalingAndColours(Form&, TwipSize, platform::SettingsStore&) {}

}  // namespace velmora::board
