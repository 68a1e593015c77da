# Cross build for 32-bit Windows with Debian's MinGW-w64: the library only,
# whose exports carry the stdcall convention. 32-bit programs do not run
# under this machine's wine, so nothing built here is run.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(ULVEX_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
