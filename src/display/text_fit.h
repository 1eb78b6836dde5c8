// SPDX-License-Identifier: MIT
// Long names on the board: a text wider than its field is drawn in a smaller size of the same
// font, in steps down to 60 % of the field's size; what still does not fit is cut between two
// characters and ends with "…".
#pragma once

#include <optional>

#include "platform/form.h"
#include "platform/services.h"

namespace velmora::display {

// nullopt when the text fits the field in its own size. The backend measures.
std::optional<FittedText> fitText(const Control& field, platform::Ui& ui);

}  // namespace velmora::display
