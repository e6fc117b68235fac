# The C and C++ sources keep the tree's .clang-format:
#
#   cmake -DSOURCE_DIR=<tree> -DCLANG_FORMAT=<program> [-DEXCLUDE=<regex>] -P CheckFormat.cmake
#
# Every *.c, *.cc, *.cpp, *.h and *.hpp below the folders that hold code
# (src, pallix, tools, web, tests, bench, fuzz) is given to clang-format
# --dry-run -Werror at once; paths relative to SOURCE_DIR that match EXCLUDE
# are left out. Every file that differs is named, with the command that
# mends it; then the script fails. Without clang-format it says it skipped.

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckFormat: SOURCE_DIR is not set")
endif()
if(NOT CLANG_FORMAT OR NOT EXISTS "${CLANG_FORMAT}")
  message("CheckFormat: skipped, clang-format is not installed (scripts/setup.sh installs it)")
  return()
endif()

set(folders src pallix tools web tests bench fuzz)
set(files "")
foreach(folder IN LISTS folders)
  file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${SOURCE_DIR}"
       "${SOURCE_DIR}/${folder}/*.c" "${SOURCE_DIR}/${folder}/*.cc" "${SOURCE_DIR}/${folder}/*.cpp"
       "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.hpp")
  foreach(rel IN LISTS found)
    if(EXCLUDE AND rel MATCHES "${EXCLUDE}")
      continue()
    endif()
    list(APPEND files "${rel}")
  endforeach()
endforeach()
list(SORT files)
list(LENGTH files count)
if(count EQUAL 0)
  message(FATAL_ERROR "CheckFormat: no C or C++ source below ${SOURCE_DIR}")
endif()

execute_process(COMMAND "${CLANG_FORMAT}" --dry-run -Werror --style=file ${files}
                WORKING_DIRECTORY "${SOURCE_DIR}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(STATUS "CheckFormat: ${count} files keep .clang-format")
  return()
endif()

# clang-format names each difference as "<file>:<line>:<column>: error: ...".
string(REPLACE "\n" ";" lines "${err}")
set(differ "")
foreach(line IN LISTS lines)
  if(line MATCHES "^(.+):[0-9]+:[0-9]+: error: ")
    list(APPEND differ "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(REMOVE_DUPLICATES differ)
list(LENGTH differ n)
if(n EQUAL 0)
  message(FATAL_ERROR "CheckFormat: clang-format failed (exit ${rc}):\n${err}")
endif()
string(REPLACE ";" "\n  " named "${differ}")
string(REPLACE ";" " " mend "${differ}")
message(FATAL_ERROR "CheckFormat: ${n} of ${count} files differ from .clang-format:\n  ${named}\n"
                    "Mend them from ${SOURCE_DIR} with: ${CLANG_FORMAT} -i ${mend}\n")
