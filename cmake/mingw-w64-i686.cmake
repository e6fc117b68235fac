# Cross-compiling for 32-bit Windows with Debian's mingw-w64
# (g++-mingw-w64-i686-posix): the station kit's x86/ half, libPallix.dll and
# brenna-send.exe for 32-bit station programs, and brenna-history.exe and
# BrennaCenter.exe for a 32-bit monitor PC. Nothing built here runs on this
# machine (its kernel refuses 32-bit programs, so wine cannot start them):
# this build makes no tests (BRENNA_X86_PART); the 64-bit build's tests
# inspect its programs.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(BRENNA_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
