// SPDX-License-Identifier: MIT
// Whether AddressSanitizer is built in: GCC says so with __SANITIZE_ADDRESS__, Clang through
// __has_feature. Its shadow memory fills the address space, and its leak check runs at exit.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_ASAN 1
#endif
#endif

#ifdef VELMORA_ASAN
#include <sanitizer/lsan_interface.h>
#endif

namespace velmora::qt {

#ifdef VELMORA_ASAN
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif

// The leak check LeakSanitizer makes at exit, made now: for a program that leaves through _Exit.
inline void checkLeaksNow() {
#ifdef VELMORA_ASAN
    __lsan_do_leak_check();
#endif
}

}  // namespace velmora::qt
