cmake_minimum_required(VERSION 3.25)
# Checks the dynamic symbol table of the shared library against the public
# header: every function declared there is exported under its plain name,
# and nothing else is.
#   cmake -DLIBRARY=libulvex.so -DHEADER=ulvex.h -P CheckExports.cmake

file(READ "${HEADER}" header)
string(REGEX MATCHALL "ULVEX_CALL [A-Za-z0-9_]+\\(" declarations "${header}")
set(declared "")
foreach(d IN LISTS declarations)
  string(REGEX REPLACE "ULVEX_CALL ([A-Za-z0-9_]+)\\(" "\\1" name "${d}")
  list(APPEND declared ${name})
endforeach()
list(REMOVE_DUPLICATES declared)
list(LENGTH declared declaredCount)
if(declaredCount LESS 45)
  message(FATAL_ERROR "only ${declaredCount} exports found in ${HEADER}")
endif()

# Declared but built later, with the transport and the monitor start.
set(pending
  TM_StartMonitorProgram TM_OpenAccessPortEx TM_OpenAccessPort TM_CloseAccessPort
  TM_ReadMemory16 TM_ReadMemory8 TM_WriteMemory16 TM_WriteMemory16_NoConfirm
  TM_WriteMemory8 TM_WriteMemory8_NoConfirm TM_WriteIntFlash16 TM_WriteExtFlash16
  TM_WriteExtFlash16_2 TM_WriteIntFlash8 TM_WriteExtFlash8 TM_Rd16 TM_Rd8 TM_Wr16 TM_Wr8
  TM_CalcCRC32 TM_CalcChecksum TM_SetConfiguration TM_SetExtFlashProgCMDAddress
  TM_ExtFlashSectorErase TM_ExtFlashBlockErase TM_ExtFlashChipErase TM_ExtFlashTypeInfo
  TM_GoFromAddress TM_SetBaudrate TM_SetDTR TM_ClrDTR TM_SetRTS TM_ClrRTS TM_SetBREAK
  TM_ClrBREAK TM_SendSerialData)

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

set(errors "")
foreach(name IN LISTS exported)
  if(NOT name IN_LIST declared)
    string(APPEND errors "exported but not declared: ${name}\n")
  endif()
endforeach()
foreach(name IN LISTS declared)
  if(NOT name IN_LIST exported AND NOT name IN_LIST pending)
    string(APPEND errors "declared but not exported: ${name}\n")
  endif()
endforeach()
if(errors)
  message(FATAL_ERROR "${errors}")
endif()
list(LENGTH exported exportedCount)
message(STATUS "${exportedCount} exports match the header")
