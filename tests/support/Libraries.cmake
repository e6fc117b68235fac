# The support libraries the benchmarks link too: plain sockets and files,
# the one way a test starts a program, ChildProcess, and a file system that
# fills up. Included by
# tests/support and by tests/e2e/Support.cmake, whichever comes first, so
# that a build without the tests has them as well.
include_guard(GLOBAL)
set(brenna_test_support_dir ${CMAKE_CURRENT_LIST_DIR})

# Plain sockets and files for tests, on the system's own API.
if(WIN32)
  add_library(brenna_test_socket STATIC ${brenna_test_support_dir}/TestSocketWin.cpp
                                        ${brenna_test_support_dir}/TestFilesWin.cpp)
  target_link_libraries(brenna_test_socket PUBLIC ws2_32)
else()
  add_library(brenna_test_socket STATIC ${brenna_test_support_dir}/TestSocket.cpp
                                        ${brenna_test_support_dir}/TestFiles.cpp)
endif()
target_include_directories(brenna_test_socket PUBLIC ${brenna_test_support_dir})
brenna_warnings(brenna_test_socket)

# Programs started (a plain fork and exec; CreateProcess in a job object on
# Windows) and always taken down again.
if(WIN32)
  add_library(brenna_test_process STATIC ${brenna_test_support_dir}/ChildProcessWin.cpp
                                         ${brenna_test_support_dir}/ChildProcessRun.cpp)
else()
  add_library(brenna_test_process STATIC ${brenna_test_support_dir}/ChildProcess.cpp
                                         ${brenna_test_support_dir}/ChildProcessRun.cpp)
endif()
target_include_directories(brenna_test_process PUBLIC ${brenna_test_support_dir})
brenna_warnings(brenna_test_process)

# A PostgreSQL of a test's own (Debian's initdb and pg_ctl), for brenna-ship's
# tests and its benchmark.
if(NOT WIN32)
  find_package(PostgreSQL REQUIRED)
  add_library(brenna_test_postgres STATIC ${brenna_test_support_dir}/PostgresServer.cpp)
  target_link_libraries(brenna_test_postgres PUBLIC brenna_test_process brenna_test_socket
                                                    PostgreSQL::PostgreSQL)
  brenna_warnings(brenna_test_postgres)
endif()

# A file system that fills up and a FIFO, for the spool's fault cases.
if(WIN32)
  add_library(brenna_test_files STATIC ${brenna_test_support_dir}/SmallFileSystemWin.cpp)
else()
  add_library(brenna_test_files STATIC ${brenna_test_support_dir}/SmallFileSystem.cpp)
endif()
target_include_directories(brenna_test_files PUBLIC ${brenna_test_support_dir})
brenna_warnings(brenna_test_files)
