# Test programs wait on serial lines and boards rather than compute, and
# their matchers make them the slowest code of the project to compile: they
# are built without optimisation and with line tables only, which is enough
# for a debugger's or a sanitizer's stack traces. The library and the board
# they exercise keep the build type's flags. Included by the test folders.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-O0> $<$<COMPILE_LANGUAGE:C,CXX>:-g1>)
# A precompiled header the compiler cannot use (below) is a warning, and so
# an error for our code, rather than a silent fall back to parsing it all.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Winvalid-pch>)

# Parsing GoogleTest and the standard headers costs more than compiling most
# test files' own code: they are compiled once per build, into a precompiled
# header of the owner target, and every test program that links GoogleTest
# starts its C++ files from it.
set(ULVEX_TEST_HEADERS <gmock/gmock.h> <atomic> <chrono> <cstdint> <cstdio> <cstring> <filesystem>
  <functional> <map> <memory> <mutex> <optional> <string> <thread> <vector>)

function(ulvex_test_headers_owner owner)
  foreach(header IN LISTS ULVEX_TEST_HEADERS)
    target_precompile_headers(${owner} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${header}>")
  endforeach()
endfunction()

# A test program's C++ files start from the owner's precompiled header and
# are compiled as one unity file.
function(ulvex_quick_test_program target owner)
  target_precompile_headers(${target} REUSE_FROM ${owner})
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
endfunction()

# Every test program of a folder that links GoogleTest; libraries keep one
# object per file, so that a program links only what it uses of them.
function(ulvex_precompile_test_headers owner dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(libraries ${target} LINK_LIBRARIES)
    get_target_property(type ${target} TYPE)
    if(NOT target STREQUAL owner AND libraries MATCHES "GTest::")
      if(type STREQUAL "EXECUTABLE")
        ulvex_quick_test_program(${target} ${owner})
      else()
        target_precompile_headers(${target} REUSE_FROM ${owner})
      endif()
    endif()
  endforeach()
endfunction()
