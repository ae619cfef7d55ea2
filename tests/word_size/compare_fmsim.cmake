# Runs the example plug-in's calculations in two fmsim commands and fails unless both succeed and print
# exactly the same results. The subject runs with --high-placement (and its emulator, when it is built
# for another word size) and must show no JNI-check report in the module's console output.
#   cmake -DSUBJECT=<fmsim> [-DEMULATOR=a|b|...] -DREFERENCE=<fmsim> -DCALCULATIONS=<file> -P compare_fmsim.cmake
foreach(required SUBJECT REFERENCE CALCULATIONS)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "compare_fmsim: ${required} is required")
  endif()
endforeach()
if(NOT EXISTS ${REFERENCE})
  message(FATAL_ERROR "no reference fmsim at ${REFERENCE}: build it first (scripts/build normal fmsim xplug_example_module)")
endif()

# fmsim reads the calculations from standard input, one a line (they hold semicolons, which a CMake
# argument list cannot carry).
file(STRINGS ${CALCULATIONS} lines ENCODING UTF-8)
string(REPLACE "|" ";" emulator "${EMULATOR}")

execute_process(COMMAND ${REFERENCE} INPUT_FILE ${CALCULATIONS}
                RESULT_VARIABLE reference_status OUTPUT_VARIABLE reference_out ERROR_VARIABLE reference_err)
execute_process(COMMAND ${emulator} ${SUBJECT} --high-placement --log INPUT_FILE ${CALCULATIONS}
                RESULT_VARIABLE subject_status OUTPUT_VARIABLE subject_out ERROR_VARIABLE subject_err)

if(NOT reference_status STREQUAL "0")
  message(FATAL_ERROR "the reference fmsim failed (${reference_status}):\n${reference_out}\n${reference_err}")
endif()
if(NOT subject_status STREQUAL "0")
  message(FATAL_ERROR "fmsim under test failed (${subject_status}):\n${subject_out}\n${subject_err}")
endif()
if(subject_err MATCHES "WARNING in native method|FATAL ERROR in native method")
  message(FATAL_ERROR "JNI-check report from the fmsim under test:\n${subject_err}")
endif()
list(LENGTH lines expected)  # no line is empty
string(REGEX MATCHALL "\n" newlines "${reference_out}")
list(LENGTH newlines printed)
if(NOT printed EQUAL expected)
  message(FATAL_ERROR "the reference printed ${printed} lines for ${expected} calculations:\n${reference_out}")
endif()
if(NOT subject_out STREQUAL reference_out)
  message(FATAL_ERROR "results differ\n--- reference:\n${reference_out}--- under test:\n${subject_out}")
endif()
message(STATUS "${expected} calculations, same results:\n${subject_out}")
