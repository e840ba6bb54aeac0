# Runs the calculator on one recorded session and fails unless it writes the
# recorded output byte for byte and exits with status 0.
#   PROGRAM    the calculator; EMULATOR runs it where it cannot run itself
#   ARGUMENTS  its command-line arguments
#   SESSION    path without extension of SESSION.in (standard input) and
#              SESSION.out (the output, with LF line ends)
#   LINE_END   LF, or CRLF where the C library writes text that way (Windows)
# The output goes to a file in the working folder, since CMake turns the CR LF
# line ends of an output variable into LF.

get_filename_component(name ${SESSION} NAME)
set(written ${name}.written)
execute_process(
  COMMAND ${EMULATOR} ${PROGRAM} ${ARGUMENTS}
  INPUT_FILE ${SESSION}.in
  OUTPUT_FILE ${written}
  RESULT_VARIABLE status
  TIMEOUT 30)
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "exit status ${status}, expected 0")
endif()

file(READ ${SESSION}.out expected)
if(LINE_END STREQUAL "CRLF")
  string(REPLACE "\n" "\r\n" expected "${expected}")
endif()
file(WRITE ${name}.expected "${expected}")
# Compared as files: reading one as text would drop its carriage returns.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E compare_files ${name}.expected ${written}
  RESULT_VARIABLE differs)
if(differs)
  file(READ ${name}.expected expected_bytes HEX)
  file(READ ${written} written_bytes HEX)
  file(READ ${written} written_text)
  message(FATAL_ERROR "output differs.\n--- expected\n${expected}\n--- written\n${written_text}\n"
    "--- expected bytes\n${expected_bytes}\n--- written bytes\n${written_bytes}")
endif()
