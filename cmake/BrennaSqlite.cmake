# SQLite for the archive, as the target SQLite::SQLite3 on every build, so
# the archive (and whatever links it: brenna-history, brenna-web) links it
# the same way everywhere.
#
# Linux: Debian's libsqlite3-dev.
#
# Windows: there is no SQLite for mingw-w64 in Debian, so it is built here
# from Debian's own source package (`apt-get source sqlite3`, which
# scripts/setup.sh fetches into BRENNA_SQLITE_SOURCE). The package is
# SQLite's source tree, not the one-file amalgamation: the build makes
# sqlite3.c and sqlite3.h from it once, with SQLite's own configure and
# `make sqlite3.c` run by the host's cc and tclsh (the generators are C
# and Tcl programs), and compiles sqlite3.c with the target's compiler into
# a static library. The amalgamation is the same for every architecture:
# the 32-bit part (BRENNA_X86_PART) is handed the 64-bit build's through
# BRENNA_SQLITE_AMALGAMATION_DIR instead of making its own.
include_guard(GLOBAL)

if(NOT WIN32)
  find_package(SQLite3 REQUIRED)
  return()
endif()

set(BRENNA_SQLITE_SOURCE /usr/local/src/brennacenter/sqlite3 CACHE PATH
    "Debian's sqlite3 source package, unpacked (scripts/setup.sh puts it here)")
set(BRENNA_SQLITE_AMALGAMATION_DIR "" CACHE PATH
    "sqlite3.c and sqlite3.h already made from BRENNA_SQLITE_SOURCE (empty: made by this build)")

if(BRENNA_SQLITE_AMALGAMATION_DIR)
  set(brenna_sqlite_dir ${BRENNA_SQLITE_AMALGAMATION_DIR})
  if(NOT EXISTS ${brenna_sqlite_dir}/sqlite3.c)
    message(FATAL_ERROR "No sqlite3.c in ${brenna_sqlite_dir}")
  endif()
else()
  if(NOT EXISTS ${BRENNA_SQLITE_SOURCE}/configure OR NOT EXISTS ${BRENNA_SQLITE_SOURCE}/VERSION)
    message(FATAL_ERROR "No SQLite sources at ${BRENNA_SQLITE_SOURCE}: scripts/setup.sh fetches "
                        "them (apt-get source sqlite3), or set BRENNA_SQLITE_SOURCE")
  endif()
  # Host programs: the generators run on this machine, not under wine.
  find_program(BRENNA_HOST_CC NAMES cc gcc REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  find_program(BRENNA_HOST_MAKE NAMES make REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  find_program(BRENNA_HOST_TCLSH NAMES tclsh tclsh8.6 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  set(brenna_sqlite_dir ${CMAKE_BINARY_DIR}/sqlite3)
  set(work ${brenna_sqlite_dir}/work)
  # Made again only when the sources change (a newer source package).
  add_custom_command(
    OUTPUT ${brenna_sqlite_dir}/sqlite3.c ${brenna_sqlite_dir}/sqlite3.h
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${work}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${work}
    COMMAND ${CMAKE_COMMAND} -E chdir ${work} ${CMAKE_COMMAND} -E env CC=${BRENNA_HOST_CC}
            TCLSH_CMD=${BRENNA_HOST_TCLSH} ${BRENNA_SQLITE_SOURCE}/configure --quiet
            --disable-tcl --disable-readline --disable-editline
    COMMAND ${CMAKE_COMMAND} -E chdir ${work} ${BRENNA_HOST_MAKE} --silent sqlite3.c
    COMMAND ${CMAKE_COMMAND} -E copy ${work}/sqlite3.c ${work}/sqlite3.h ${brenna_sqlite_dir}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${work}
    DEPENDS ${BRENNA_SQLITE_SOURCE}/VERSION ${BRENNA_SQLITE_SOURCE}/manifest
            ${BRENNA_SQLITE_SOURCE}/debian/changelog
    COMMENT "Making the SQLite amalgamation from ${BRENNA_SQLITE_SOURCE}"
    VERBATIM)
  add_custom_target(brenna_sqlite_amalgamation
                    DEPENDS ${brenna_sqlite_dir}/sqlite3.c ${brenna_sqlite_dir}/sqlite3.h)
endif()

add_library(brenna_sqlite3 STATIC ${brenna_sqlite_dir}/sqlite3.c)
# The header's folder holds only what the generator copied out: sqlite3.h
# beside sqlite3.c.
target_include_directories(brenna_sqlite3 SYSTEM PUBLIC ${brenna_sqlite_dir})
# As Debian builds its library where it matters to the archive (threads,
# deleted content overwritten, the same limits); no URI file names and no
# extension loading (the archive never asks for either); no warnings from
# code that is not ours, and no debug information: for this one large file
# it makes the compiler several times slower, and nobody steps through
# SQLite.
target_compile_definitions(brenna_sqlite3 PRIVATE
  SQLITE_THREADSAFE=1
  SQLITE_SECURE_DELETE
  SQLITE_LIKE_DOESNT_MATCH_BLOBS
  SQLITE_MAX_SCHEMA_RETRY=25
  SQLITE_MAX_VARIABLE_NUMBER=250000
  SQLITE_OMIT_LOAD_EXTENSION)
target_compile_options(brenna_sqlite3 PRIVATE -w -g0)
add_library(SQLite::SQLite3 ALIAS brenna_sqlite3)
