// SPDX-License-Identifier: MIT
// A playlist header that reaches up into serve/ and over into the board's seam: the layering check
// must refuse both.
#pragma once

#include "platform/services.h"
#include "serve/server.h"
