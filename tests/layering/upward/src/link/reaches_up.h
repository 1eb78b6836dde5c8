// SPDX-License-Identifier: MIT
// A link header that reaches up into the board: the layering check must refuse it.
#pragma once

#include "board/board_state.h"
