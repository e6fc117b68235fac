# libpq, PostgreSQL's client library, as the target PostgreSQL::PostgreSQL
# on every build (the name CMake's FindPostgreSQL gives it), so a program
# links the company database's client the same way on both systems.
#
# Linux: Debian's libpq-dev.
#
# Windows: there is no libpq for mingw-w64 in Debian, so it is built here
# from Debian's own source package (`apt-get source postgresql-15`, which
# scripts/setup.sh fetches into BRENNA_POSTGRESQL_SOURCE), with
# PostgreSQL's own configure and make (a build beside the sources), against
# the OpenSSL of cmake/BrennaOpenssl.cmake, into build-windows/libpq/ (the
# 32-bit part: build-windows/x86/libpq/). Only libpq and what it needs are
# built: the headers the rest of the tree generates with perl, src/port and
# src/common (their libpgport_shlib.a and libpgcommon_shlib.a, made for
# libraries) and libpq's own objects. On Windows PostgreSQL's make knows
# libpq only as a DLL (its libpq.a is the DLL's import library), so the
# objects its Makefile lists are put into a static libpq.a here
# (cmake/BrennaLibpqStatic.mk). Made once, again only when the source
# package or OpenSSL changes.
#
# The options (docs/windows-libraries.md says more): TLS by OpenSSL; no
# readline, zlib or ICU (libpq uses none of them); the prefix compiled into
# libpq, whose etc/ holds the system-wide pg_service.conf, is
# C:\Program Files\PostgreSQL, a folder only an administrator may write.
include_guard(GLOBAL)

if(NOT WIN32)
  find_package(PostgreSQL REQUIRED)
  return()
endif()
include(BrennaOpenssl)

set(BRENNA_POSTGRESQL_SOURCE /usr/local/src/brennacenter/postgresql-15 CACHE PATH
    "Debian's postgresql-15 source package, unpacked (scripts/setup.sh puts it here)")
if(NOT EXISTS ${BRENNA_POSTGRESQL_SOURCE}/configure
   OR NOT EXISTS ${BRENNA_POSTGRESQL_SOURCE}/src/interfaces/libpq/libpq-fe.h
   OR NOT EXISTS ${BRENNA_POSTGRESQL_SOURCE}/debian/changelog)
  message(FATAL_ERROR "No PostgreSQL sources at ${BRENNA_POSTGRESQL_SOURCE}: scripts/setup.sh "
                      "fetches them (apt-get source postgresql-15), or set BRENNA_POSTGRESQL_SOURCE")
endif()
brenna_source_package_version(${BRENNA_POSTGRESQL_SOURCE} BRENNA_LIBPQ_VERSION)

set(BRENNA_LIBPQ_DIR ${CMAKE_BINARY_DIR}/libpq)
set(brenna_libpq_work ${BRENNA_LIBPQ_DIR}/work)
set(brenna_libpq_lib ${BRENNA_LIBPQ_DIR}/lib)
set(BRENNA_LIBPQ_LIBRARIES ${brenna_libpq_lib}/libpq.a ${brenna_libpq_lib}/libpgcommon_shlib.a
                           ${brenna_libpq_lib}/libpgport_shlib.a)
set(brenna_libpq_make ${CMAKE_COMMAND} -E chdir ${brenna_libpq_work} ${BRENNA_HOST_MAKE} --silent
                      -j${BRENNA_LIBRARY_MAKE_JOBS})
add_custom_command(
  OUTPUT ${BRENNA_LIBPQ_LIBRARIES}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${brenna_libpq_work} ${BRENNA_LIBPQ_DIR}/include
          ${brenna_libpq_lib}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${brenna_libpq_work} ${BRENNA_LIBPQ_DIR}/include
          ${brenna_libpq_lib}
  # OpenSSL is linked statically: configure's test programs need what it
  # links with.
  COMMAND ${CMAKE_COMMAND} -E chdir ${brenna_libpq_work} ${CMAKE_COMMAND} -E env
          CC=${CMAKE_C_COMPILER} AR=${CMAKE_AR} RANLIB=${CMAKE_RANLIB}
          WINDRES=${CMAKE_RC_COMPILER} "LIBS=-lws2_32 -lgdi32 -lcrypt32 -lbcrypt"
          ${BRENNA_POSTGRESQL_SOURCE}/configure --quiet --host=${BRENNA_MINGW_PREFIX}
          "--prefix=C:/Program Files/PostgreSQL" --with-ssl=openssl
          --with-includes=${BRENNA_OPENSSL_DIR}/include
          --with-libraries=${BRENNA_OPENSSL_DIR}/lib
          --without-readline --without-zlib --without-icu
  COMMAND ${brenna_libpq_make} -C src/backend generated-headers
  COMMAND ${brenna_libpq_make} -C src/port libpgport_shlib.a
  COMMAND ${brenna_libpq_make} -C src/common libpgcommon_shlib.a
  COMMAND ${brenna_libpq_make} -C src/interfaces/libpq -f Makefile
          -f ${CMAKE_CURRENT_LIST_DIR}/BrennaLibpqStatic.mk libpq-static.a
  COMMAND ${CMAKE_COMMAND} -E copy ${brenna_libpq_work}/src/interfaces/libpq/libpq-static.a
          ${brenna_libpq_lib}/libpq.a
  COMMAND ${CMAKE_COMMAND} -E copy ${brenna_libpq_work}/src/port/libpgport_shlib.a
          ${brenna_libpq_work}/src/common/libpgcommon_shlib.a ${brenna_libpq_lib}
  COMMAND ${CMAKE_COMMAND} -E copy ${BRENNA_POSTGRESQL_SOURCE}/src/interfaces/libpq/libpq-fe.h
          ${BRENNA_POSTGRESQL_SOURCE}/src/interfaces/libpq/libpq-events.h
          ${BRENNA_POSTGRESQL_SOURCE}/src/include/postgres_ext.h
          ${brenna_libpq_work}/src/include/pg_config_ext.h ${BRENNA_LIBPQ_DIR}/include
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${brenna_libpq_work}
  DEPENDS ${BRENNA_OPENSSL_LIBRARIES} ${BRENNA_POSTGRESQL_SOURCE}/configure
          ${BRENNA_POSTGRESQL_SOURCE}/debian/changelog
          ${CMAKE_CURRENT_LIST_DIR}/BrennaLibpqStatic.mk
  COMMENT "Building static libpq for ${BRENNA_MINGW_PREFIX} from ${BRENNA_POSTGRESQL_SOURCE}"
  VERBATIM)
add_custom_target(brenna_libpq_build DEPENDS ${BRENNA_LIBPQ_LIBRARIES})

# libpq's own objects first, then what they need of PostgreSQL's common
# code and of OpenSSL, then Windows' libraries: Winsock, SSPI (secur32) and
# the shell's folder lookup (shell32, for %APPDATA%\postgresql).
brenna_static_import(PostgreSQL::PostgreSQL ${brenna_libpq_lib}/libpq.a ${BRENNA_LIBPQ_DIR}/include
                     brenna_libpq_build ${brenna_libpq_lib}/libpgcommon_shlib.a
                     ${brenna_libpq_lib}/libpgport_shlib.a OpenSSL::SSL secur32 ws2_32 shell32)
