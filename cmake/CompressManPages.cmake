# Run by cpack on its staging tree before the package is made: every man
# page is compressed (gzip -9n, no name or time stamp inside, so the same
# page gives the same bytes), as Debian keeps them and man reads them.
file(GLOB_RECURSE ulvex_man_pages "${CPACK_TEMPORARY_DIRECTORY}/*/share/man/man[1-9]/*.[1-9]")
foreach(page IN LISTS ulvex_man_pages)
  execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${page} failed: ${status}")
  endif()
endforeach()
