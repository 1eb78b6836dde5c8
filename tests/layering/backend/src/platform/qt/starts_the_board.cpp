// SPDX-License-Identifier: MIT
// A backend source that reaches up into the shell, as an entry point would: the layering check
// must refuse it, since only app/ may hold one.
#include "platform/qt/qt_ui.h"
#include "platform/services.h"
#include "shell/program.h"
