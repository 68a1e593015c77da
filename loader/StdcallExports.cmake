# The Windows library is ulvex.dll. The 32-bit one exports every function of
# the C API twice, as hosts of stdcall libraries look for them: under its
# plain name and under its decorated name, an underscore, the name, "@" and
# the bytes of its arguments (_FlashLoader@24). A module-definition file
# written from the public header lists both; the header's dllexport marks
# stay off there, or the linker would add a third name (FlashLoader@24).
set_target_properties(ulvex PROPERTIES PREFIX "")
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
  return()
endif()

file(READ ${CMAKE_CURRENT_SOURCE_DIR}/include/ulvex.h header)
# The extension headers beside it declare exports too.
file(GLOB extensions ${CMAKE_CURRENT_SOURCE_DIR}/include/ulvex_*.h)
foreach(extension IN LISTS extensions)
  file(READ ${extension} text)
  string(APPEND header "${text}")
endforeach()
string(REGEX MATCHALL "ULVEX_CALL [A-Za-z0-9_]+\\([^)]*\\)" declarations "${header}")
set(definitions "LIBRARY ulvex.dll\nEXPORTS\n")
set(imports "LIBRARY ulvex.dll\nEXPORTS\n")
foreach(declaration IN LISTS declarations)
  string(REGEX REPLACE "ULVEX_CALL ([A-Za-z0-9_]+)\\(.*" "\\1" name "${declaration}")
  string(REGEX REPLACE ".*\\((.*)\\)" "\\1" parameters "${declaration}")
  # Every parameter is a 32-bit value or a pointer: four bytes on the stack.
  if(parameters STREQUAL "void")
    set(bytes 0)
  else()
    string(REGEX MATCHALL "," commas "${parameters}")
    list(LENGTH commas commaCount)
    math(EXPR bytes "(${commaCount} + 1) * 4")
  endif()
  string(APPEND definitions "  ${name} = ${name}@${bytes}\n  _${name}@${bytes} = ${name}@${bytes}\n")
  string(APPEND imports "  ${name}@${bytes}\n")
endforeach()
set(ULVEX_DEF_FILE ${CMAKE_CURRENT_BINARY_DIR}/ulvex.def)
file(WRITE ${ULVEX_DEF_FILE} "${definitions}")
target_sources(ulvex PRIVATE ${ULVEX_DEF_FILE})

# The import library that hosts link: a stdcall call refers to
# _FlashLoader@24, which the import library resolves to the plain name in
# the DLL (--kill-at). The linker's own import library would only know the
# two aliases, neither of which a compiled call names.
set(ULVEX_IMPORT_DEF_FILE ${CMAKE_CURRENT_BINARY_DIR}/ulvex-import.def)
file(WRITE ${ULVEX_IMPORT_DEF_FILE} "${imports}")
add_custom_command(TARGET ulvex POST_BUILD
  COMMAND ${ULVEX_MINGW_TRIPLE}-dlltool --kill-at --def ${ULVEX_IMPORT_DEF_FILE}
    --dllname ulvex.dll --output-lib $<TARGET_LINKER_FILE:ulvex>
  VERBATIM)
target_compile_definitions(ulvex_core PUBLIC ULVEX_DEF_EXPORTS)
