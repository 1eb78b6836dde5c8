# SPDX-License-Identifier: MIT
# Cross-builds the Linux programs for arm64 with Debian's cross compiler, against the arm64
# development packages installed beside the amd64 ones (multiarch: /usr/lib/aarch64-linux-gnu).
# scripts/cross-arm64.sh runs it inside a build root of its own.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(VELMORA_CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${VELMORA_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VELMORA_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${VELMORA_CROSS_TRIPLET})

# Programs (moc, wayland-scanner) are the build machine's; libraries, headers and packages the
# target's, which multiarch keeps under the same prefix.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# pkg-config reads only the target's .pc files (and the architecture-free ones).
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${VELMORA_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Qt's build tools run on the build machine: the amd64 Qt of the same version.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# The Debian package is for arm64, and dpkg-shlibdeps reads the arm64 libraries' symbols files.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)

# Tests run under qemu-user when it is there (the arm64 libraries under VELMORA_ARM64_SYSROOT).
find_program(VELMORA_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64)
if(VELMORA_QEMU_AARCH64)
  if(NOT DEFINED VELMORA_ARM64_SYSROOT)
    set(VELMORA_ARM64_SYSROOT /)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_QEMU_AARCH64} -L ${VELMORA_ARM64_SYSROOT})
endif()
