# What both Windows toolchains share (mingw-w64-x86_64.cmake and
# mingw-w64-i686.cmake set BRENNA_MINGW_PREFIX and the processor first).
# Debian's mingw-w64 with the posix thread model: std::thread and
# std::mutex need it.
#
# Everything is linked statically against the compiler's run-time
# (libstdc++, libgcc, winpthread) and zlib, so libPallix.dll and the
# programs need nothing on a station PC but Windows itself.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${BRENNA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRENNA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${BRENNA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BRENNA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zlib from libz-mingw-w64-dev (both architectures), the static archive.
set(ZLIB_INCLUDE_DIR /usr/${BRENNA_MINGW_PREFIX}/include CACHE PATH "")
set(ZLIB_LIBRARY /usr/${BRENNA_MINGW_PREFIX}/lib/libz.a CACHE FILEPATH "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
