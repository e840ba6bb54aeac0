# Cross-compiles for Linux on another processor with Debian's cross compiler
# g++-TRIPLET, and runs what it builds under qemu-user with that compiler's
# libraries (the sysroot /usr/TRIPLET). Set by each preset that uses it:
#   CALCULATOR_TRIPLET  the GNU triplet, such as aarch64-linux-gnu
#   CALCULATOR_QEMU     qemu-user's name for the processor, such as aarch64

# CMake reads this file again for each compiler check, where only the
# variables named here are set.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CALCULATOR_TRIPLET CALCULATOR_QEMU)
if(NOT CALCULATOR_TRIPLET OR NOT CALCULATOR_QEMU)
  message(FATAL_ERROR "cross builds for Linux need CALCULATOR_TRIPLET and CALCULATOR_QEMU")
endif()

set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR ${CALCULATOR_TRIPLET})

set(CMAKE_C_COMPILER ${CALCULATOR_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${CALCULATOR_TRIPLET}-g++)

set(sysroot /usr/${CALCULATOR_TRIPLET})
set(CMAKE_FIND_ROOT_PATH ${sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${CALCULATOR_QEMU} -L ${sysroot})
