# The Debian architectures that the calculator is built for, one a row:
#   arch     the Debian architecture, which CALCULATOR_ARCH names
#   machine  in the portable archive's name: as `uname -m` names the
#            machine, where that tells the archives apart
#   uname    what `uname -m` prints on it (the README's table lists them)
#   triplet  the GNU triplet of its compiler TRIPLET-g++ (Debian: g++-TRIPLET)
#   qemu     qemu-user's name for the processor; - for the build machine's
#   flags    compiler flags of its own, joined by commas; - for none
#   readelf  what `readelf -h` says of its programs: class, byte order,
#            machine, and the float ABI where one is named
# In CMake: calculator_architecture(ARCH PREFIX) sets PREFIX_machine and the
# others for ARCH. From a shell, the rows: cmake -P cmake/architectures.cmake
set(calculator_architectures
  # arch   machine  uname           triplet                 qemu     flags               readelf
  "amd64    x86_64   x86_64          x86_64-linux-gnu        -        -                   ELF64, little endian, Advanced Micro Devices X86-64"
  "arm64    aarch64  aarch64         aarch64-linux-gnu       aarch64  -                   ELF64, little endian, AArch64"
  "armhf    armv7    armv7l,armv8l   arm-linux-gnueabihf     arm      -                   ELF32, little endian, ARM, hard-float ABI"
  "armel    armv5te  armv6l,armv5tel arm-linux-gnueabi       arm      -                   ELF32, little endian, ARM, soft-float ABI"
  "ppc64el  ppc64le  ppc64le         powerpc64le-linux-gnu   ppc64le  -                   ELF64, little endian, PowerPC64"
  "s390x    s390x    s390x           s390x-linux-gnu         s390x    -                   ELF64, big endian, IBM S/390"
  "riscv64  riscv64  riscv64         riscv64-linux-gnu       riscv64  -                   ELF64, little endian, RISC-V, double-float ABI"
  "mips64el mips64el mips64          mips64el-linux-gnuabi64 mips64el -                   ELF64, little endian, MIPS R3000"
  "mipsel   mipsel   mips            mipsel-linux-gnu        mipsel   -                   ELF32, little endian, MIPS R3000"
  "i386     i686     i686            i686-linux-gnu          i386     -msse2,-mfpmath=sse ELF32, little endian, Intel 80386")

function(calculator_architecture arch prefix)
  foreach(row IN LISTS calculator_architectures)
    if(row MATCHES "^${arch} +([^ ]+) +([^ ]+) +([^ ]+) +([^ ]+) +([^ ]+) +(.*)$")
      set(${prefix}_machine "${CMAKE_MATCH_1}" PARENT_SCOPE)
      set(${prefix}_triplet "${CMAKE_MATCH_3}" PARENT_SCOPE)
      set(${prefix}_qemu "${CMAKE_MATCH_4}" PARENT_SCOPE)
      string(REPLACE "," " " flags "${CMAKE_MATCH_5}")
      set(${prefix}_flags "${flags}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  string(REGEX REPLACE " [^;]*" "" names "${calculator_architectures}")
  string(REPLACE ";" " " names "${names}")
  message(FATAL_ERROR "CALCULATOR_ARCH is '${arch}', not one of: ${names}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  string(JOIN "\n" rows ${calculator_architectures})
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${rows}")
endif()
