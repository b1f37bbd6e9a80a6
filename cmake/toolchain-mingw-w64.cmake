# Cross build for Windows x86-64 with MinGW-w64.
#
#   cmake -S . -B build-win -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64.cmake
#
# The POSIX-threads flavour of the compiler is required: the library and the
# util stand-in use std::thread, std::mutex and std::condition_variable.
# Every binary links the compiler runtime (libgcc, libstdc++, winpthread)
# statically, so cmutil.dll, ostrel.dll and the test programs need nothing
# beyond the system DLLs of Windows.
#
# Test programs run under Wine, in the prefix named by WINEPREFIX at configure
# time, or else in a private prefix inside the build directory (created on
# first use; `wineboot -i` creates it ahead).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OSTREL_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${OSTREL_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${OSTREL_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${OSTREL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OSTREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

find_program(OSTREL_WINE NAMES wine wine64)
if(OSTREL_WINE)
  if(DEFINED ENV{WINEPREFIX})
    set(OSTREL_WINEPREFIX "$ENV{WINEPREFIX}")
  else()
    set(OSTREL_WINEPREFIX "${CMAKE_BINARY_DIR}/wine")
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEDEBUG=-all WINEPREFIX=${OSTREL_WINEPREFIX} ${OSTREL_WINE})
endif()
