# Lists the test functions and data rows of a Qt Test program and writes a
# ctest script with one test for each. Arguments: PROGRAM, PREFIX (of the
# test names), OUTPUT (the script), SANITIZER (the build's), and
# TSAN_SUPPRESSIONS (the file the tests use under ThreadSanitizer).
# Functions named slow* are labelled boot, the others unit.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
    TSAN_OPTIONS=report_bugs=0 ${PROGRAM} -datatags
  OUTPUT_VARIABLE listing
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} -datatags failed: ${result}")
endif()

set(environment "QT_QPA_PLATFORM=offscreen")
if(SANITIZER STREQUAL "thread")
  # halt_on_error as the test command runs the other tests
  string(APPEND environment ";TSAN_OPTIONS=halt_on_error=1 suppressions=${TSAN_SUPPRESSIONS}")
endif()

string(REPLACE "\n" ";" lines "${listing}")
set(script "")
foreach(line IN LISTS lines)
  # "Class function", or "Class function tag" for each data row
  if(NOT line MATCHES "^[^ ]+ ([^ ]+)( (.+))?$")
    continue()
  endif()
  set(function "${CMAKE_MATCH_1}")
  set(tag "${CMAKE_MATCH_3}")
  set(selector "${function}")
  if(NOT tag STREQUAL "")
    set(selector "${function}:${tag}")
  endif()
  set(label unit)
  if(function MATCHES "^slow")
    set(label boot)
  endif()
  set(name "${PREFIX}.${selector}")
  string(APPEND script
    "add_test([=[${name}]=] [=[${PROGRAM}]=] [=[${selector}]=])\n"
    "set_tests_properties([=[${name}]=] PROPERTIES LABELS ${label} TIMEOUT 60\n"
    "  ENVIRONMENT [=[${environment}]=])\n")
endforeach()
file(WRITE ${OUTPUT} "${script}")
