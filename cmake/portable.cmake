# The portable calculator for Linux: one static executable that runs on any Linux of its
# processor, with the notices of what it carries. Static-pie, for address randomisation,
# where the C library has its start files.
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
calculator_architecture("${CALCULATOR_ARCH}" arch)
set(CPACK_GENERATOR TGZ)
calculator_asset(portable ${CALCULATOR_RELEASE_NAME} archive ${arch_machine})
string(REGEX REPLACE "[.]tar[.]gz$" "" CPACK_PACKAGE_FILE_NAME ${archive})
calculator_libraries(portable licenses)
# The C library's license text, where its copyright file says Debian keeps it.
install(FILES /usr/share/common-licenses/LGPL-2.1 DESTINATION licenses)
set(glibc_package ${CALCULATOR_PACKAGE_libc.a})
set(gcc_package ${CALCULATOR_PACKAGE_libstdc++.a})
execute_process(COMMAND dpkg-query --show --showformat=\${Version} ${glibc_package}
  OUTPUT_VARIABLE glibc_package_version)
string(REGEX MATCH "^[0-9.]+[0-9]" glibc_version "${glibc_package_version}")
configure_file(${PROJECT_SOURCE_DIR}/doc/licenses.in licenses/README @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/licenses/README DESTINATION licenses)
