# The hardening flags Debian builds its packages with, each where the compiler takes it,
# and no build folder in the binary, so that rebuilds elsewhere give the same bytes.
include(CheckCXXCompilerFlag)
foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "CALCULATOR_TAKES${flag}" takes_flag)
  check_cxx_compiler_flag(${flag} ${takes_flag})
  if(${takes_flag})
    add_compile_options(${flag})
  endif()
endforeach()
add_compile_definitions(_FORTIFY_SOURCE=2)
add_compile_options(-Wformat -Werror=format-security -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)
add_link_options(LINKER:-z,relro LINKER:-z,now)
