cmake_minimum_required(VERSION 3.25)
# Checks the export table of ulvex.dll against the library's C API: every
# export under its plain name and, in the 32-bit library, also under its
# stdcall-decorated name with the bytes of its arguments; nothing else.
#   cmake -DOBJDUMP=i686-w64-mingw32-objdump -DLIBRARY=ulvex.dll -DBITS=4 -P CheckDllExports.cmake

# Name and argument bytes of every export.
set(expected
  FlashLoader 24  SetupCallbackFunction 4  ReadCallbackFunction 0  FLoaderDLLVersion 0
  SetDebug 4  SetBootLoaderTimeout 4
  TM_InitTestMode 4  TM_StopTestMode 0  TM_StartMonitorProgram 16  TM_OpenAccessPortEx 24
  TM_OpenAccessPort 12  TM_CloseAccessPort 0  TM_ReadMemory16 12  TM_ReadMemory8 12
  TM_WriteMemory16 12  TM_WriteMemory16_NoConfirm 12  TM_WriteMemory8 12
  TM_WriteMemory8_NoConfirm 12  TM_WriteIntFlash16 12  TM_WriteExtFlash16 12
  TM_WriteExtFlash16_2 12  TM_WriteIntFlash8 12  TM_WriteExtFlash8 12  TM_Rd16 8  TM_Rd8 8
  TM_Wr16 8  TM_Wr8 8  TM_CalcCRC32 12  TM_CalcChecksum 12  TM_SetConfiguration 4
  TM_SetExtFlashProgCMDAddress 12  TM_ExtFlashSectorErase 4  TM_ExtFlashBlockErase 4
  TM_ExtFlashChipErase 0  TM_ExtFlashTypeInfo 8  TM_GoFromAddress 4  TM_SetBaudrate 4
  TM_SetDTR 0  TM_ClrDTR 0  TM_SetRTS 0  TM_ClrRTS 0  TM_SetBREAK 0  TM_ClrBREAK 0
  TM_SendSerialData 8  TM_ReadHexFile 20
  ULVEX_GetLastOpenFailure 8  ULVEX_SetPortPath 8)

set(wanted "")
list(LENGTH expected count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET expected ${i} name)
  list(GET expected ${j} bytes)
  list(APPEND wanted ${name})
  if(BITS EQUAL 4)
    list(APPEND wanted _${name}@${bytes})
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed")
endif()
# The name pointer table follows its heading, one "\t[   n] name" line each.
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${LIBRARY} has no export name table")
endif()
string(SUBSTRING "${dump}" ${start} -1 table)
string(REGEX MATCH "Table\n(\t\[ *[0-9]+\] [^\n]+\n)+" table "${table}")
string(REGEX MATCHALL "\t\[ *[0-9]+\] [^\n]+" rows "${table}")
set(exported "")
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\t\[ *[0-9]+\] " "" name "${row}")
  list(APPEND exported ${name})
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/../e2e/CompareExports.cmake)
ulvex_compare_exports("${wanted}" "${exported}")
