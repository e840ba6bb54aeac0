# Builds for Linux on the Debian architecture that CALCULATOR_ARCH names (a
# row of cmake/architectures.cmake), with Debian's compiler TRIPLET-g++ and
# the row's flags. Unless it is the build machine's own, what it builds runs
# under qemu-user with that compiler's libraries (the sysroot /usr/TRIPLET),
# which runs the tests, GoogleTest's discovery of them, and the calculator in
# the session and shell tests; and GoogleTest is built from its sources.

# CMake reads this file again for each compiler check, where only the
# variables named here are set.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CALCULATOR_ARCH)
include(${CMAKE_CURRENT_LIST_DIR}/../architectures.cmake)
calculator_architecture("${CALCULATOR_ARCH}" arch)

set(CMAKE_C_COMPILER ${arch_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${arch_triplet}-g++)
if(NOT arch_flags STREQUAL "-")
  set(CMAKE_CXX_FLAGS_INIT "${arch_flags}")
endif()
if(arch_qemu STREQUAL "-")
  return()
endif()

# No GoogleTest is installed for another architecture: the tests build it
# with the architecture's compiler, from Debian's sources (googletest).
set(CALCULATOR_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")

set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR ${arch_triplet})
set(sysroot /usr/${arch_triplet})
set(CMAKE_FIND_ROOT_PATH ${sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${arch_qemu} -L ${sysroot})
