// SPDX-License-Identifier: MIT
// Outside the tests (the fuzzer), a lifetime fault the fake platform saw is a crash to report.
#include <cstdio>
#include <cstdlib>

#include "fake/fake_platform.h"

namespace velmora::fake {

void reportLifetimeFault(const std::string& fault) {
    std::fprintf(stderr, "lifetime fault: %s\n", fault.c_str());
    std::abort();
}

}  // namespace velmora::fake
