# The monitor driven from outside, for the end-to-end and fault tests and the
# end-to-end benchmark: programs, install tree, the monitor process and the
# station side. No X and no GoogleTest, so the benchmark builds without the
# tests. Included by tests/e2e and by bench, whichever comes first.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/../support/Libraries.cmake)
set(brenna_e2e_dir ${CMAKE_CURRENT_LIST_DIR})
add_library(brenna_e2e_support STATIC
  ${brenna_e2e_dir}/DisplayServer.cpp
  ${brenna_e2e_dir}/InstallTree.cpp ${brenna_e2e_dir}/MonitorProcess.cpp
  ${brenna_e2e_dir}/SpoolWatch.cpp ${brenna_e2e_dir}/Station.cpp ${brenna_e2e_dir}/Crowds.cpp)
target_link_libraries(brenna_e2e_support PUBLIC brenna_test_process brenna_test_socket
                                                Threads::Threads)
target_include_directories(brenna_e2e_support PUBLIC ${brenna_e2e_dir}
                                                     ${CMAKE_SOURCE_DIR}/tests/support
                                                     ${CMAKE_SOURCE_DIR}/pallix/include)
target_compile_definitions(brenna_e2e_support PRIVATE
  BRENNA_CENTER_PATH="$<TARGET_FILE:BrennaCenter>"
  BRENNA_SEND_PATH="$<TARGET_FILE:brenna-send>"
  BRENNA_PALLIX_DIR="${BRENNA_PALLIX_DIR}"
  BRENNA_LSAN_SUPPRESSIONS="${CMAKE_SOURCE_DIR}/tests/support/lsan-system-libraries.supp")
# The programs under test are copied from the build, so build them first.
add_dependencies(brenna_e2e_support BrennaCenter brenna-send Pallix)
brenna_warnings(brenna_e2e_support)

# The Windows monitor under wine64, installed as a PC has it, beside this
# build's (the windows build, BRENNA_WINDOWS_BUILD_DIR).
if(BRENNA_WINDOWS_BUILD_DIR)
  find_program(BRENNA_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine
               REQUIRED)
  get_filename_component(brenna_wine_dir ${BRENNA_WINE64} DIRECTORY)
  find_program(BRENNA_WINESERVER NAMES wineserver PATHS ${brenna_wine_dir} NO_DEFAULT_PATH)
  find_program(BRENNA_WINESERVER NAMES wineserver REQUIRED)
  target_sources(brenna_e2e_support PRIVATE ${brenna_e2e_dir}/WindowsInstall.cpp)
  target_compile_definitions(brenna_e2e_support PUBLIC
    BRENNA_WINDOWS_BUILD_DIR="${BRENNA_WINDOWS_BUILD_DIR}"
    BRENNA_WINE64="${BRENNA_WINE64}"
    BRENNA_WINESERVER="${BRENNA_WINESERVER}")
endif()

# The web view seen by a browser: Debian's headless chromium driven over its
# debugging pipe (its JSON read with nlohmann-json), and brenna-web itself.
if(NOT TARGET brenna_e2e_browser)
  find_package(nlohmann_json REQUIRED)
  add_library(brenna_e2e_browser STATIC ${brenna_e2e_dir}/HeadlessBrowser.cpp)
  target_link_libraries(brenna_e2e_browser PUBLIC brenna_e2e_support nlohmann_json::nlohmann_json)
  target_compile_definitions(brenna_e2e_browser PUBLIC BRENNA_WEB_PATH="$<TARGET_FILE:brenna-web>")
  add_dependencies(brenna_e2e_browser brenna-web)
  brenna_warnings(brenna_e2e_browser)
endif()
