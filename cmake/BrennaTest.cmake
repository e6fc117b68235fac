# brenna_add_test(<name> SOURCES <files...> [LIBS <targets...>] [GUI])
#
# The one way tests are declared. Each GoogleTest case becomes its own ctest
# entry. Every test runs with a private HOME, XDG directories and runtime
# directory inside the build tree, so no test touches the real home
# directory. GUI tests run on Qt's offscreen platform with a fixed 1920x1080
# screen at 96 dpi and get a main() that creates the QApplication.
include(GoogleTest)

set(BRENNA_TEST_HOME ${CMAKE_BINARY_DIR}/test-home)
set(BRENNA_TEST_RUNTIME ${CMAKE_BINARY_DIR}/test-runtime)
# Temporary files of tests stay in the build tree, so what a crashed or
# killed test leaves behind goes with the build directory.
set(BRENNA_TEST_TMP ${CMAKE_BINARY_DIR}/test-tmp)
file(MAKE_DIRECTORY ${BRENNA_TEST_HOME} ${BRENNA_TEST_RUNTIME} ${BRENNA_TEST_TMP})
file(CHMOD ${BRENNA_TEST_RUNTIME} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(BRENNA_TEST_ARTIFACTS ${CMAKE_BINARY_DIR}/test-artifacts)
file(MAKE_DIRECTORY ${BRENNA_TEST_ARTIFACTS})
set(BRENNA_SCREEN_CONFIG ${CMAKE_SOURCE_DIR}/tests/support/screen-1920x1080.json)

function(brenna_add_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${BRENNA_BIN_DIR}/tests)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  brenna_warnings(${name})
  # Tests that load libPallix find this build's copy here.
  target_compile_definitions(${name} PRIVATE BRENNA_PALLIX_DIR="${BRENNA_PALLIX_DIR}")
  if(TARGET Pallix)
    add_dependencies(${name} Pallix)
  endif()
  set(env
    "HOME=${BRENNA_TEST_HOME}"
    "XDG_DATA_HOME=${BRENNA_TEST_HOME}/.local/share"
    "XDG_CONFIG_HOME=${BRENNA_TEST_HOME}/.config"
    "XDG_STATE_HOME=${BRENNA_TEST_HOME}/.local/state"
    "XDG_RUNTIME_DIR=${BRENNA_TEST_RUNTIME}"
    "TMPDIR=${BRENNA_TEST_TMP}"
    "BRENNA_TEST_ARTIFACTS=${BRENNA_TEST_ARTIFACTS}"
    "BRENNA_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
    # Sanitizer builds: leaks of system libraries at exit are not ours, nor
    # the races ThreadSanitizer sees inside uninstrumented system libraries.
    "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/lsan-system-libraries.supp"
    "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/tsan-system-libraries.supp")
  if(T_GUI)
    target_link_libraries(${name} PRIVATE ${T_LIBS} brenna_gui_test_main Qt6::Widgets Qt6::Test
                                          GTest::gtest GTest::gmock)
    list(APPEND env "QT_QPA_PLATFORM=offscreen:configfile=${BRENNA_SCREEN_CONFIG}")
  else()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  # The environment reaches both the discovery run and every test through the
  # executor prefix (gtest_discover_tests loses multi-entry ENVIRONMENT lists).
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${CMAKE_COMMAND};-E;env;${env}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()
