# cpp-httplib for brenna-web, as the target CppHttplib::CppHttplib on every
# build, so brenna-web links it the same way everywhere.
#
# Linux: Debian's libcpp-httplib-dev, its header and shared library (found
# with pkg-config).
#
# Windows: there is no cpp-httplib for mingw-w64 in Debian, so it is built
# here from Debian's own source package (`apt-get source cpp-httplib`,
# which scripts/setup.sh fetches into BRENNA_HTTPLIB_SOURCE), the way
# Debian builds its library: the package's split.py cuts the one header
# into httplib.h and httplib.cc (done at configure time: it only moves
# text), and httplib.cc is compiled into a static library, linked with
# Winsock. Debian adds CPPHTTPLIB_USE_POLL, for POSIX select's limit on
# descriptor numbers; Windows' select has no such limit for the one socket
# the library waits on at a time (and the split header undefines the
# library's WSAPoll before its own source). The 32-bit part
# (BRENNA_X86_PART) makes its own the same way.
include_guard(GLOBAL)

if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(CPPHTTPLIB REQUIRED IMPORTED_TARGET GLOBAL cpp-httplib)
  add_library(CppHttplib::CppHttplib ALIAS PkgConfig::CPPHTTPLIB)
  return()
endif()

set(BRENNA_HTTPLIB_SOURCE /usr/local/src/brennacenter/cpp-httplib CACHE PATH
    "Debian's cpp-httplib source package, unpacked (scripts/setup.sh puts it here)")
if(NOT EXISTS ${BRENNA_HTTPLIB_SOURCE}/httplib.h OR NOT EXISTS ${BRENNA_HTTPLIB_SOURCE}/split.py)
  message(FATAL_ERROR "No cpp-httplib sources at ${BRENNA_HTTPLIB_SOURCE}: scripts/setup.sh "
                      "fetches them (apt-get source cpp-httplib), or set BRENNA_HTTPLIB_SOURCE")
endif()
find_program(BRENNA_HOST_PYTHON3 NAMES python3 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
set(brenna_httplib_dir ${CMAKE_BINARY_DIR}/cpp-httplib)
# split.py writes nothing when its output is newer than the header; a
# fresh folder each time makes it write both files.
file(REMOVE_RECURSE ${brenna_httplib_dir})
execute_process(
  COMMAND ${BRENNA_HOST_PYTHON3} ${BRENNA_HTTPLIB_SOURCE}/split.py --out ${brenna_httplib_dir}
  RESULT_VARIABLE brenna_httplib_split OUTPUT_QUIET)
if(NOT brenna_httplib_split EQUAL 0 OR NOT EXISTS ${brenna_httplib_dir}/httplib.cc)
  message(FATAL_ERROR "split.py of ${BRENNA_HTTPLIB_SOURCE} made no httplib.cc")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${BRENNA_HTTPLIB_SOURCE}/httplib.h ${BRENNA_HTTPLIB_SOURCE}/split.py)

add_library(brenna_httplib STATIC ${brenna_httplib_dir}/httplib.cc)
target_include_directories(brenna_httplib SYSTEM PUBLIC ${brenna_httplib_dir})
target_link_libraries(brenna_httplib PUBLIC ws2_32 Threads::Threads)
# Not our code: no warnings from it.
target_compile_options(brenna_httplib PRIVATE -w)
add_library(CppHttplib::CppHttplib ALIAS brenna_httplib)
