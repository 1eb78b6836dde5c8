// SPDX-License-Identifier: MIT
// The board state, as the fixture of the layering check needs it.
#pragma once

#include "link/link_control.h"
