# Cross-compiling for 64-bit Windows with Debian's mingw-w64
# (g++-mingw-w64-x86-64-posix). Tests run under wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BRENNA_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Windows programs built here run under wine64 (Debian's wine64 package
# puts the loader outside PATH).
find_program(BRENNA_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine NO_DEFAULT_PATH)
find_program(BRENNA_WINE64 NAMES wine64 wine)
# Each test program's emulator (cmake/BrennaTest.cmake) adds the private
# wine prefix and the test environment in front of it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${BRENNA_WINE64})
