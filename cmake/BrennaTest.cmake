# brenna_add_test(<name> SOURCES <files...> [LIBS <targets...>] [GUI] [TIMEOUT <s>]
#                 [PROPERTIES <name> <value>...] [NOT_ON_WINDOWS <case patterns...>]
#                 [ENVIRONMENT <NAME=value>...])
#
# NOT_ON_WINDOWS names the cases a Windows build leaves out because they
# need a POSIX tool (a gtest filter, so the list stays in one place).
# The one way tests are declared. Each GoogleTest case becomes its own ctest
# entry. Every test runs with a private HOME, XDG directories and runtime
# directory inside the build tree, so no test touches the real home
# directory. GUI tests run on Qt's offscreen platform with a fixed 1920x1080
# screen at 96 dpi and get a main() that creates the QApplication. PROPERTIES
# are further ctest properties of every case (a fixture it requires, say).
# ENVIRONMENT entries come last, so they win over the helper's own (a
# Windows test under another code page than 936, say).
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

if(CMAKE_CROSSCOMPILING)
  if(NOT BRENNA_WINE64)
    message(FATAL_ERROR "Windows tests run under wine64 (Debian package wine64)")
  endif()
  # A private wine prefix in the build tree: no dialogs, no Mono or Gecko
  # downloads (mscoree and mshtml off), no desktop entries, quiet.
  set(BRENNA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  # A Chinese station PC: the system code page is 936 (GBK), so GBK file
  # names pass the ANSI calls as they are. Wine takes it from the locale,
  # made here into the build tree (LOCPATH), not into the system. A German
  # PC (code page 1252, and a language the setup has no texts of) is made
  # beside it for the setup's tests.
  set(BRENNA_TEST_LOCALES ${CMAKE_BINARY_DIR}/locales)
  foreach(locale zh_CN de_DE)
    if(NOT EXISTS ${BRENNA_TEST_LOCALES}/${locale}.UTF-8)
      find_program(BRENNA_LOCALEDEF localedef REQUIRED)
      file(MAKE_DIRECTORY ${BRENNA_TEST_LOCALES})
      execute_process(COMMAND ${BRENNA_LOCALEDEF} -i ${locale} -f UTF-8
                              ${BRENNA_TEST_LOCALES}/${locale}.UTF-8
                      RESULT_VARIABLE localedef_result)
      if(NOT EXISTS ${BRENNA_TEST_LOCALES}/${locale}.UTF-8)
        message(FATAL_ERROR
                "localedef could not make the ${locale}.UTF-8 locale (${localedef_result})")
      endif()
    endif()
  endforeach()
  set(BRENNA_WINE_ENV
    "WINEPREFIX=${BRENNA_WINEPREFIX}"
    "LOCPATH=${BRENNA_TEST_LOCALES}"
    "LC_ALL=zh_CN.UTF-8"
    "WINEDEBUG=-all"
    "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe="
    "DISPLAY="
    # Programs that link libPallix.dll find it in bin/.
    "WINEPATH=${BRENNA_BIN_DIR}"
    # Wine keeps its server's socket under TMPDIR: the prefix's setup, the
    # tests and the cleanup reach the same server only with the same one.
    "TMPDIR=${BRENNA_TEST_TMP}")
  # The prefix is made once, before any test, by a test of its own, and one
  # wine server stays up for the whole run. Debian's wineserver wrapper
  # starts it with -p0: it ends the moment its last program does, and a
  # test program starting in that moment fails at once ("wine client error:
  # recvmsg"). So the setup ends whatever server this prefix still has,
  # starts a persistent one (-p) and makes the prefix through it; the
  # cleanup ends it (-k acts on this build's prefix only). The server and
  # the system programs it keeps (services.exe, ...) must not hold ctest's
  # output open: they get /dev/null.
  get_filename_component(brenna_wine_dir ${BRENNA_WINE64} DIRECTORY)
  find_program(BRENNA_WINESERVER NAMES wineserver PATHS ${brenna_wine_dir} NO_DEFAULT_PATH)
  find_program(BRENNA_WINESERVER NAMES wineserver REQUIRED)
  add_test(NAME wineprefix_setup
           COMMAND ${CMAKE_COMMAND} -E env ${BRENNA_WINE_ENV} sh -c
                   "mkdir -p \"$WINEPREFIX\" && { \"$0\" -k; \"$0\" -w; true; } && exec </dev/null >/dev/null 2>&1 && \"$0\" -p && \"$1\" cmd /c exit 0"
                   ${BRENNA_WINESERVER} ${BRENNA_WINE64})
  set_tests_properties(wineprefix_setup PROPERTIES FIXTURES_SETUP wineprefix TIMEOUT 300)
  add_test(NAME wineprefix_cleanup
           COMMAND ${CMAKE_COMMAND} -E env ${BRENNA_WINE_ENV} ${BRENNA_WINESERVER} -k)
  set_tests_properties(wineprefix_cleanup PROPERTIES FIXTURES_CLEANUP wineprefix TIMEOUT 60)
endif()

function(brenna_add_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS;NOT_ON_WINDOWS;PROPERTIES;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${BRENNA_BIN_DIR}/tests)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  target_link_libraries(${name} PRIVATE brenna_test_socket brenna_test_files)
  if(TARGET brenna_test_process)
    target_link_libraries(${name} PRIVATE brenna_test_process)
  endif()
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
  if(T_GUI AND NOT BRENNA_WITH_GUI)
    message(FATAL_ERROR "${name}: a GUI test in a build without Qt")
  endif()
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
  if(CMAKE_CROSSCOMPILING)
    # One test per program: each wine start costs about half a second, so the
    # cases of a program run in one start (the program reports each case).
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
                          "${CMAKE_COMMAND};-E;env;${env};${BRENNA_WINE_ENV};${T_ENVIRONMENT};${BRENNA_WINE64}")
    set(filter)
    if(T_NOT_ON_WINDOWS)
      list(JOIN T_NOT_ON_WINDOWS ":" excluded)
      set(filter "--gtest_filter=-${excluded}")
    endif()
    add_test(NAME ${name} COMMAND ${name} ${filter})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
                                            FIXTURES_REQUIRED wineprefix ${T_PROPERTIES})
    return()
  endif()
  # The environment reaches both the discovery run and every test through the
  # executor prefix (gtest_discover_tests loses multi-entry ENVIRONMENT lists).
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
                        "${CMAKE_COMMAND};-E;env;${env};${T_ENVIRONMENT}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT} ${T_PROPERTIES})
endfunction()
