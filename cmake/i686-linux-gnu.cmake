# Builds for 32-bit x86 Linux with the host's multilib g++ and runs what it
# builds under qemu-i386.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)

# The x87 unit would round every result twice, first to its own 64-bit
# precision and then to the double's 53 bits; SSE2 computes binary64 directly.
set(arch_flags "-m32 -msse2 -mfpmath=sse")
set(CMAKE_C_FLAGS_INIT ${arch_flags})
set(CMAKE_CXX_FLAGS_INIT ${arch_flags})
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)
