#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the virtual-display
# run need (the Windows build: mingw-w64 for 64- and 32-bit with its zlib,
# wine64 to run its tests, and the locale sources wine's code page 936 is
# made from; cpp-httplib for brenna-web, nlohmann-json for the lines' updates
# a site's overview reads (and for the tests), and chromium for the tests
# that look at its pages in a real browser; clang-format for the
# check that the sources keep their formatting), and any further
# packages named as arguments (the fuzzers' clang);
# does nothing when all are present. Run as root on Debian 12.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev zlib1g-dev libsqlite3-dev libx11-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  fonts-liberation fonts-arphic-uming
  xvfb openbox imagemagick x11-utils chromium nlohmann-json3-dev
  python3 gzip clang-format
  dpkg-dev dbus-daemon
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev wine64 locales
  "$@"
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
