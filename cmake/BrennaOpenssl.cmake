# OpenSSL for libpq's TLS, as the targets OpenSSL::SSL and OpenSSL::Crypto
# on every build (the names CMake's FindOpenSSL gives them).
#
# Linux: Debian's libssl-dev.
#
# Windows: there is no OpenSSL for mingw-w64 in Debian, so it is built here
# from Debian's own source package (`apt-get source openssl`, which
# scripts/setup.sh fetches into BRENNA_OPENSSL_SOURCE), with OpenSSL's own
# Configure (a perl program) and make, into build-windows/openssl/ (the
# 32-bit part: build-windows/x86/openssl/): static libssl.a and
# libcrypto.a and their headers, nothing else. Made once, again only when
# the source package changes.
#
# The options, and why (docs/windows-libraries.md says more):
#   mingw64 / mingw      OpenSSL's own targets for 64- and 32-bit mingw-w64,
#                        with their assembler routines (GNU as, no nasm);
#   no-shared            static libraries: the programs hold their TLS;
#   no-asm (32-bit)      see below;
#   no-dso               nothing is loaded from disk at run time (implies
#                        no-module: the default provider is built in), so
#                        neither a configuration file nor an environment
#                        variable can make a program load a DLL;
#   no-engine no-legacy  libpq needs neither;
#   no-tests             no test programs; only the libraries are built
#                        (`make build_libs`: no programs, no manuals);
#   --prefix, --openssldir  the places compiled into the library. libpq
#                        reads OpenSSL's configuration file at start, from
#                        OPENSSLDIR: it is C:\Program Files\Common Files\SSL,
#                        as in OpenSSL's own Windows builds, a folder only an
#                        administrator may write (OpenSSL's default for
#                        mingw, /usr/local/ssl, would be C:\usr\local\ssl,
#                        which any user may create).
include_guard(GLOBAL)

if(NOT WIN32)
  find_package(OpenSSL REQUIRED)
  return()
endif()

set(BRENNA_OPENSSL_SOURCE /usr/local/src/brennacenter/openssl CACHE PATH
    "Debian's openssl source package, unpacked (scripts/setup.sh puts it here)")
if(NOT EXISTS ${BRENNA_OPENSSL_SOURCE}/Configure
   OR NOT EXISTS ${BRENNA_OPENSSL_SOURCE}/debian/changelog)
  message(FATAL_ERROR "No OpenSSL sources at ${BRENNA_OPENSSL_SOURCE}: scripts/setup.sh fetches "
                      "them (apt-get source openssl), or set BRENNA_OPENSSL_SOURCE")
endif()
include(BrennaSourcePackage)
brenna_source_package_version(${BRENNA_OPENSSL_SOURCE} BRENNA_OPENSSL_VERSION)
# Configure and make run on this machine, the compiler is the target's.
find_program(BRENNA_HOST_PERL NAMES perl REQUIRED NO_CMAKE_FIND_ROOT_PATH)
find_program(BRENNA_HOST_MAKE NAMES make REQUIRED NO_CMAKE_FIND_ROOT_PATH)
include(ProcessorCount)
ProcessorCount(brenna_cores)
if(brenna_cores LESS 1)
  set(brenna_cores 1)
endif()
set(BRENNA_LIBRARY_MAKE_JOBS ${brenna_cores} CACHE STRING
    "Parallel jobs of make for the libraries built from source packages (OpenSSL, libpq)")

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(brenna_openssl_target mingw64)
else()
  # No assembler: Debian's patches make OpenSSL's 32-bit x86 assembler
  # position-independent the ELF way (GOT relocations), which a Windows
  # object cannot hold.
  set(brenna_openssl_target mingw no-asm)
endif()
# OpenSSL's Makefile puts its cross prefix in front of the compiler's name.
get_filename_component(brenna_cc_name ${CMAKE_C_COMPILER} NAME)
string(REPLACE "${BRENNA_MINGW_PREFIX}-" "" brenna_openssl_cc ${brenna_cc_name})

set(BRENNA_OPENSSL_DIR ${CMAKE_BINARY_DIR}/openssl)
set(brenna_openssl_work ${BRENNA_OPENSSL_DIR}/work)
set(BRENNA_OPENSSL_LIBRARIES ${BRENNA_OPENSSL_DIR}/lib/libssl.a ${BRENNA_OPENSSL_DIR}/lib/libcrypto.a)
add_custom_command(
  OUTPUT ${BRENNA_OPENSSL_LIBRARIES}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${brenna_openssl_work} ${BRENNA_OPENSSL_DIR}/include
          ${BRENNA_OPENSSL_DIR}/lib
  COMMAND ${CMAKE_COMMAND} -E make_directory ${brenna_openssl_work}
  COMMAND ${CMAKE_COMMAND} -E chdir ${brenna_openssl_work} ${BRENNA_HOST_PERL}
          ${BRENNA_OPENSSL_SOURCE}/Configure
          ${brenna_openssl_target} --cross-compile-prefix=${BRENNA_MINGW_PREFIX}-
          CC=${brenna_openssl_cc} "--prefix=C:/Program Files/Common Files" --openssldir=SSL
          no-shared no-dso no-engine no-legacy no-tests
  COMMAND ${CMAKE_COMMAND} -E chdir ${brenna_openssl_work} ${BRENNA_HOST_MAKE} --silent
          -j${BRENNA_LIBRARY_MAKE_JOBS} build_libs
  COMMAND ${CMAKE_COMMAND} -DWORK=${brenna_openssl_work} -DSOURCE=${BRENNA_OPENSSL_SOURCE}
          -DDESTINATION=${BRENNA_OPENSSL_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/BrennaOpensslCopy.cmake
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${brenna_openssl_work}
  DEPENDS ${BRENNA_OPENSSL_SOURCE}/Configure ${BRENNA_OPENSSL_SOURCE}/VERSION.dat
          ${BRENNA_OPENSSL_SOURCE}/debian/changelog
  COMMENT "Building static OpenSSL for ${brenna_openssl_target} from ${BRENNA_OPENSSL_SOURCE}"
  VERBATIM)
add_custom_target(brenna_openssl_build DEPENDS ${BRENNA_OPENSSL_LIBRARIES})

# What OpenSSL's mingw targets link with (Winsock, GDI, CryptoAPI), and
# advapi32 (its random numbers) and user32 (whether it runs as a service).
brenna_static_import(OpenSSL::Crypto ${BRENNA_OPENSSL_DIR}/lib/libcrypto.a
                     ${BRENNA_OPENSSL_DIR}/include brenna_openssl_build
                     ws2_32 gdi32 crypt32 advapi32 user32)
brenna_static_import(OpenSSL::SSL ${BRENNA_OPENSSL_DIR}/lib/libssl.a ${BRENNA_OPENSSL_DIR}/include
                     brenna_openssl_build OpenSSL::Crypto)
