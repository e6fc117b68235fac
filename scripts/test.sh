#!/usr/bin/env bash
# Set-up, build and every test. Usage: scripts/test.sh
#
# The Windows build (the windows preset: libPallix.dll, brenna-send.exe, the
# Qt-free core, its unit tests under wine64; inside it the 32-bit
# libPallix.dll and brenna-send.exe of the station kit) comes first; the
# Linux build is then told where it is, so that its cross-platform tests
# run the Windows programs against the Linux ones, and its station kit test
# makes the kit's zip there, builds the example from it for both
# architectures and checks their exports.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset windows
cmake --build --preset windows
ctest --preset windows
cmake --preset default -DBRENNA_WINDOWS_BUILD_DIR="$(pwd)/build-windows"
cmake --build --preset default
ctest --preset default
