cmake_minimum_required(VERSION 3.25)
# Checks the dynamic symbol table of the shared library against the public
# header: every function declared there is exported under its plain name,
# and nothing else is.
#   cmake -DLIBRARY=libulvex.so -DHEADER=ulvex.h -P CheckExports.cmake

file(READ "${HEADER}" header)
# The extension headers beside it declare exports too.
get_filename_component(includeDir "${HEADER}" DIRECTORY)
file(GLOB extensions "${includeDir}/ulvex_*.h")
foreach(extension IN LISTS extensions)
  file(READ "${extension}" text)
  string(APPEND header "${text}")
endforeach()
string(REGEX MATCHALL "ULVEX_CALL [A-Za-z0-9_]+\\(" declarations "${header}")
set(declared "")
foreach(d IN LISTS declarations)
  string(REGEX REPLACE "ULVEX_CALL ([A-Za-z0-9_]+)\\(" "\\1" name "${d}")
  list(APPEND declared ${name})
endforeach()
list(REMOVE_DUPLICATES declared)
list(LENGTH declared declaredCount)
if(declaredCount LESS 47)
  message(FATAL_ERROR "only ${declaredCount} exports found in ${HEADER}")
endif()

execute_process(COMMAND nm -D --defined-only "${LIBRARY}"
  OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] [^\n]+" lines "${symbols}")
set(exported "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-f]+ ([A-Za-z]) (.+)$" "\\1;\\2" parts "${line}")
  list(GET parts 0 kind)
  list(GET parts 1 name)
  # The version node of the linker script is an absolute symbol, not code.
  if(kind STREQUAL "A")
    continue()
  endif()
  list(APPEND exported ${name})
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/CompareExports.cmake)
ulvex_compare_exports("${declared}" "${exported}")
