# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix thread
# model: std::thread and std::mutex need it). Tests run under wine64.
#
# Everything is linked statically against the compiler's run-time
# (libstdc++, libgcc, winpthread) and zlib, so libPallix.dll and the
# programs need nothing on a station PC but Windows itself.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BRENNA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BRENNA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRENNA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${BRENNA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BRENNA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib from libz-mingw-w64-dev, the static archive.
set(ZLIB_INCLUDE_DIR /usr/${BRENNA_MINGW_PREFIX}/include CACHE PATH "")
set(ZLIB_LIBRARY /usr/${BRENNA_MINGW_PREFIX}/lib/libz.a CACHE FILEPATH "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Windows programs built here run under wine64 (Debian's wine64 package
# puts the loader outside PATH).
find_program(BRENNA_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine NO_DEFAULT_PATH)
find_program(BRENNA_WINE64 NAMES wine64 wine)
# Each test program's emulator (cmake/BrennaTest.cmake) adds the private
# wine prefix and the test environment in front of it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${BRENNA_WINE64})
