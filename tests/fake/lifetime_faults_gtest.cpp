// SPDX-License-Identifier: MIT
// In the tests, a lifetime fault the fake platform saw fails the test that left it.
#include <gtest/gtest.h>

#include "fake/fake_platform.h"

namespace velmora::fake {

void reportLifetimeFault(const std::string& fault) {
    ADD_FAILURE() << "lifetime fault: " << fault;
}

}  // namespace velmora::fake
