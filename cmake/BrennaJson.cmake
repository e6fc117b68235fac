# nlohmann-json, as the target nlohmann_json::nlohmann_json on every build.
#
# Linux: Debian's nlohmann-json3-dev, found through its CMake package.
#
# Windows: the library is only headers, and Debian's are plain C++ with no
# system headers of their own, so the mingw build uses the same ones. Only
# their folder is shown to it: a folder in the build tree holds a link
# named nlohmann to Debian's, so no other header of the Linux system can be
# taken by the cross compiler.
include_guard(GLOBAL)

if(NOT WIN32)
  find_package(nlohmann_json REQUIRED)
  return()
endif()

set(BRENNA_JSON_HEADERS /usr/include/nlohmann CACHE PATH
    "Debian's nlohmann-json headers (nlohmann-json3-dev)")
if(NOT EXISTS ${BRENNA_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "No nlohmann-json headers at ${BRENNA_JSON_HEADERS}: scripts/setup.sh "
                      "installs nlohmann-json3-dev, or set BRENNA_JSON_HEADERS")
endif()
set(brenna_json_dir ${CMAKE_BINARY_DIR}/nlohmann-json)
file(REMOVE_RECURSE ${brenna_json_dir})
file(MAKE_DIRECTORY ${brenna_json_dir})
file(CREATE_LINK ${BRENNA_JSON_HEADERS} ${brenna_json_dir}/nlohmann SYMBOLIC)
add_library(brenna_json INTERFACE)
target_include_directories(brenna_json SYSTEM INTERFACE ${brenna_json_dir})
add_library(nlohmann_json::nlohmann_json ALIAS brenna_json)
