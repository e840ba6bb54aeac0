# The portable calculator for Linux: one statically linked executable, which
# needs no program loader and no shared library and so runs on any Linux of
# its processor, packed with its manual page, license, README and the notices
# of the C and C++ libraries it carries, as
# calculator-VERSION-linux-MACHINE.tar.gz, MACHINE being that of the
# architecture CALCULATOR_ARCH in architectures.cmake.

# Static-pie where the C library has its start files, so that the program
# still gets address randomisation; plain static elsewhere.
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS -fPIE)
set(CMAKE_REQUIRED_LINK_OPTIONS -static-pie)
check_cxx_source_compiles("int main() { return 0; }" CALCULATOR_LINKS_STATIC_PIE)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)
if(CALCULATOR_LINKS_STATIC_PIE)
  target_compile_options(calculator_dialogue PUBLIC -fPIE)
  target_link_options(calculator PRIVATE -static-pie)
else()
  target_link_options(calculator PRIVATE -static)
endif()

include(architectures)
calculator_architecture("${CALCULATOR_ARCH}" arch)
set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${CALCULATOR_RELEASE_NAME}-linux-${arch_machine})

include(notices)
install_library_notices(licenses libc.a libstdc++.a libgcc.a libgcc_eh.a)
# The C library's license text, where its copyright file says Debian keeps it.
install(FILES /usr/share/common-licenses/LGPL-2.1 DESTINATION licenses)
set(glibc_package ${NOTICES_PACKAGE_libc.a})
set(gcc_package ${NOTICES_PACKAGE_libstdc++.a})
execute_process(COMMAND dpkg-query --show --showformat=\${Version} ${glibc_package}
  OUTPUT_VARIABLE glibc_package_version)
string(REGEX MATCH "^[0-9.]+[0-9]" glibc_version "${glibc_package_version}")
configure_file(${PROJECT_SOURCE_DIR}/doc/licenses.in licenses/README @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/licenses/README DESTINATION licenses)
