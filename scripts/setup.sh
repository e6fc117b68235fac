#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the virtual-display
# run need (the Windows build: mingw-w64 for 64- and 32-bit with its zlib,
# wine64 to run its tests, and the locale sources wine's code page 936 is
# made from; cpp-httplib for brenna-web, nlohmann-json for the lines' updates
# a site's overview reads (header-only, also used by the Windows build and
# the tests), and chromium for the tests that look at its pages in a real
# browser; nsis (makensis) for the Windows setup programs; clang-format for
# the check that the sources keep their formatting, clang for the check
# that every guarded variable is touched under its lock and for the
# fuzzers; libpq-dev for the company database's client, the postgresql
# server its tests start, and the openssl command that makes their
# certificates), and any further packages named as arguments;
# then fetches Debian's sqlite3, cpp-httplib, openssl and postgresql-15
# source packages, which the Windows build makes its SQLite, its
# cpp-httplib, its OpenSSL and its libpq from (cmake/BrennaSqlite.cmake:
# make and tcl run SQLite's own generators; cmake/BrennaHttplib.cmake:
# python3 runs the package's split.py; cmake/BrennaOpenssl.cmake and
# cmake/BrennaLibpq.cmake: perl runs OpenSSL's Configure and PostgreSQL's
# generators), into /usr/local/src/brennacenter/sqlite3, .../cpp-httplib,
# .../openssl and .../postgresql-15 (or $BRENNA_SQLITE_SOURCE,
# $BRENNA_HTTPLIB_SOURCE, $BRENNA_OPENSSL_SOURCE, $BRENNA_POSTGRESQL_SOURCE),
# adding the deb-src type to Debian's source list first. Does nothing when
# all is there. Run as root on Debian 12.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev zlib1g-dev libsqlite3-dev libx11-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  fonts-liberation fonts-arphic-uming
  xvfb openbox imagemagick x11-utils chromium nlohmann-json3-dev
  python3 gzip clang-format clang
  postgresql libpq-dev openssl
  dpkg-dev dbus-daemon make tcl perl
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev wine64 locales nsis
  "$@"
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [[ $(id -u) -ne 0 ]]; then SUDO=sudo; else SUDO=; fi
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Debian's own source packages, unpacked with their patches applied.
# Fetched again only when the folder is gone (delete it to take a newer
# one). Usage: fetch_source PACKAGE FOLDER FILE-THAT-MUST-BE-THERE
sources_ready=
fetch_source() {
  local package=$1 folder=$2 mark=$3
  [[ -f $folder/$mark && -f $folder/debian/changelog ]] && return 0
  if [[ -z $sources_ready ]]; then
    # Source packages need the deb-src type beside deb: added to the Types
    # line of Debian's source list (deb822), or as a deb-src twin of each
    # deb line of a one-line list that has none.
    local changed=
    local sources=/etc/apt/sources.list.d/debian.sources
    if [[ -f $sources ]] && grep -E '^Types:' "$sources" | grep -vq 'deb-src'; then
      $SUDO sed -i -E '/^Types:/{/deb-src/!s/[[:space:]]*$/ deb-src/}' "$sources"
      changed=1
    fi
    local list=/etc/apt/sources.list
    if [[ -f $list ]] && grep -Eq '^deb[[:space:]]' "$list" && ! grep -Eq '^deb-src[[:space:]]' "$list"; then
      $SUDO sed -i -E 's/^deb([[:space:]].*)$/&\ndeb-src\1/' "$list"
      changed=1
    fi
    if [[ -n $changed ]] || ! apt-cache showsrc "$package" >/dev/null 2>&1; then
      $SUDO apt-get update
    fi
    sources_ready=1
  fi
  echo "setup: fetching Debian's $package source into $folder"
  local parent
  parent=$(dirname "$folder")
  $SUDO mkdir -p "$parent"
  # Unpacked beside the final place and moved there whole, so an
  # interrupted fetch never leaves a half folder where the build looks.
  local fetch
  fetch=$($SUDO mktemp -d "$parent/.$package-fetch.XXXXXX")
  # The newest version first; a mirror that lists a version but does not
  # (yet) serve its files fails that one, and the next older one is taken.
  local version unpacked=
  for version in '' $(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -rVu); do
    $SUDO find "$fetch" -mindepth 1 -delete
    if (cd "$fetch" && $SUDO apt-get source "$package${version:+=$version}"); then
      unpacked=$(find "$fetch" -mindepth 1 -maxdepth 1 -type d -name "$package-*")
      [[ -n $unpacked && -f $unpacked/$mark ]] && break
      unpacked=
    fi
  done
  if [[ -z $unpacked ]]; then
    $SUDO rm -rf "$fetch"
    echo "setup: apt-get source $package left no source tree" >&2
    exit 1
  fi
  $SUDO rm -rf "$folder"
  $SUDO mv "$unpacked" "$folder"
  $SUDO rm -rf "$fetch"
}

fetch_source sqlite3 "${BRENNA_SQLITE_SOURCE:-/usr/local/src/brennacenter/sqlite3}" VERSION
fetch_source cpp-httplib "${BRENNA_HTTPLIB_SOURCE:-/usr/local/src/brennacenter/cpp-httplib}" split.py
fetch_source openssl "${BRENNA_OPENSSL_SOURCE:-/usr/local/src/brennacenter/openssl}" Configure
fetch_source postgresql-15 "${BRENNA_POSTGRESQL_SOURCE:-/usr/local/src/brennacenter/postgresql-15}" configure
