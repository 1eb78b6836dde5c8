// SPDX-License-Identifier: MIT
// The message of the exception of type E that an action throws.
#pragma once

#include <string>

namespace velmora::jukebox::testing {

template <class E, class Action>
std::string errorText(Action&& action) {
    try {
        action();
    } catch (const E& error) {
        return error.what();
    }
    return "(nothing thrown)";
}

}  // namespace velmora::jukebox::testing
