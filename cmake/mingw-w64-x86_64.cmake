# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads, for
# std::thread). Programs run on Linux under wine through scripts/wine-run.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(ULVEX_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
