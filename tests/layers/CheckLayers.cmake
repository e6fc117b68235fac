# The layers of the source tree, checked by rule (docs/architecture.md):
#
#   cmake -DSOURCE_DIR=<tree> [-DCORE_SOURCES_FILE=<file>] -P CheckLayers.cmake
#
# SOURCE_DIR holds src/, pallix/, tools/ and web/. CORE_SOURCES_FILE lists,
# one per line, the sources the Qt-free core library compiles.
#
# 1. Every folder of src/ is a layer and includes only what its layer may:
#      platform     -> platform
#      journal      -> journal, platform
#      util         -> util, journal, platform
#      archive      -> archive, util, journal, platform
#      panel        -> panel, util, journal, platform (beside the archive)
#      acquisition  -> acquisition, util, journal, platform
#      monitor      -> monitor, acquisition, panel, util, archive, journal,
#                      platform (the monitor's loop, Qt-free, under both windows)
#      app          -> app, monitor, acquisition, panel, util, archive,
#                      journal, platform, records (the Qt window)
#      winapp       -> winapp, monitor, acquisition, panel, util, archive,
#                      journal, platform, records (the Windows window: the two
#                      windows stand side by side, neither reaches the other)
#      reports      -> reports, panel, util, archive, journal, platform (the
#                      archive's reports and views, shared by the two programs)
#      history      -> history, reports, panel, util, archive, journal, platform (brenna-history)
#      ship         -> ship, reports, panel, util, archive, journal, platform (brenna-ship)
#      records      -> records (it stands apart)
#    and all of them libPallix's public headers (pallix/include); platform
#    also the headers it shares with libPallix (pallix_shared_platform). The
#    journal sits just above platform, below every layer that logs; util
#    (settings, port rules, layout arithmetic) above it; the archive of
#    shown results above util (its limits' defaults are the settings'), so
#    the data path and the window may hand it what they show and it
#    reaches none of them. The
#    panel model sits above util, below the data path: the windows, the
#    monitor, the data path and the programs beside the monitor read the
#    panel there. Receiving (acquisition) sits below the monitor's loop and
#    reaches nothing of it.
#    The one upward include the design needs is allowed by name below.
#    An include is judged by the file it reaches, found as the compiler
#    finds it: quoted beside the including file first, then (quoted or in
#    angle brackets) from src/ and pallix/include. So "../app/X.h" and
#    <app/X.h> are includes of app/X.h like "app/X.h"; angle brackets that
#    reach no file of the tree are the system's.
# 2. libPallix (pallix/) includes only its own files; the station tool
#    (tools/) only its own, libPallix's public headers and the platform
#    layer's GBK conversion; the station guide's generator (a build step)
#    also reads the panel model (and the layers below it) and libPallix's
#    record reader.
# 3. brenna-web (web/, a program beside the monitor) includes its own files,
#    the reports, panel, archive, platform, journal and util layers, and
#    brenna-ship's (its company's view connects to the company database as
#    brenna-ship does): nothing of the monitor's window or data path, nor of
#    brenna-history. Its includes are judged by the file they reach, as above.
# 4. No Qt header in the Qt-free core: all of acquisition/, archive/,
#    history/, journal/, monitor/, panel/, platform/, records/, reports/, ship/, util/,
#    winapp/
#    (the Windows window, on the Windows API), pallix/ and web/, every source
#    of the core library, and every header those reach through their
#    includes.
#
# Every breach is listed; then the script fails.

cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "CheckLayers: SOURCE_DIR is not set")
endif()

set(layer_platform platform)
set(layer_journal journal platform)
set(layer_archive archive util journal platform)
set(layer_util util journal platform)
set(layer_panel panel util journal platform)
set(layer_acquisition acquisition util journal platform)
set(layer_monitor monitor acquisition panel util archive journal platform)
set(layer_app app monitor acquisition panel util archive journal platform records)
set(layer_winapp winapp monitor acquisition panel util archive journal platform records)
set(layer_reports reports panel util archive journal platform)
set(layer_history history reports panel util archive journal platform)
set(layer_ship ship reports panel util archive journal platform)
set(layer_records records)

# Upward includes the design requires: "<folder or file glob>|<included file>",
# both below src/. The platform reports through the journal's entry points
# (journal/Journal.h includes nothing of the monitor's own).
set(allowed_upward
    "platform/*|journal/Journal.h")

# What the platform layer may include of libPallix's own files: the headers
# the two share (failed file calls classified once, GBK names as UTF-16, the
# waker of a wait on sockets, Winsock started once), compiled into both and
# exported by neither.
set(pallix_shared_platform
    "pallix/src/platform/FileErrors.h"
    "pallix/src/platform/FileErrorsWin.h"
    "pallix/src/platform/WideTextWin.h"
    "pallix/src/platform/Waker.h"
    "pallix/src/platform/WakerPosix.h"
    "pallix/src/platform/WakerWin.h"
    "pallix/src/platform/WinsockStart.h")

# What brenna-web may include of src/: whole layers (what it shares with
# brenna-history lies in reports/; the company database's connection, with
# brenna-ship, in ship/).
set(web_may_layers reports ship panel archive journal platform util)

# Folders whose every file is Qt-free.
set(qt_free_folders acquisition archive history journal monitor panel platform records reports
                    ship util winapp)

set(qt_include_regex "^(Qt[A-Za-z0-9]*/|Q[A-Z][A-Za-z0-9]*$|Q[A-Z][A-Za-z0-9]*\\.h$|q[a-z0-9_]+\\.h$)")

set(failures "")
macro(fail text)
  list(APPEND failures "${text}")
endmacro()

# The includes of a file: each as "<kind><name>", kind " for quoted and < for
# angle brackets.
function(read_includes file out)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  set(result "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*([<\"])([^>\"]+)[>\"]")
      list(APPEND result "${CMAKE_MATCH_1}${CMAKE_MATCH_2}")
    endif()
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

function(glob_sources dir out)
  file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${SOURCE_DIR}"
       "${SOURCE_DIR}/${dir}/*.h" "${SOURCE_DIR}/${dir}/*.hpp" "${SOURCE_DIR}/${dir}/*.c"
       "${SOURCE_DIR}/${dir}/*.cc" "${SOURCE_DIR}/${dir}/*.cpp")
  list(SORT found)
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# The file an include `inc` ("<kind><name>") of the file `rel` reaches,
# relative to SOURCE_DIR and with every ".." resolved, as the compiler finds
# it: a quoted name beside `rel` first, then either kind below each folder of
# `roots`. Empty when it reaches no file of the tree.
function(resolve_include rel inc roots out)
  string(SUBSTRING "${inc}" 0 1 kind)
  string(SUBSTRING "${inc}" 1 -1 name)
  get_filename_component(dir "${SOURCE_DIR}/${rel}" DIRECTORY)
  set(candidates "")
  if(kind STREQUAL "\"")
    list(APPEND candidates "${dir}/${name}")
  endif()
  foreach(root IN LISTS roots)
    list(APPEND candidates "${SOURCE_DIR}/${root}/${name}")
  endforeach()
  foreach(candidate IN LISTS candidates)
    if(EXISTS "${candidate}" AND NOT IS_DIRECTORY "${candidate}")
      cmake_path(NORMAL_PATH candidate)
      file(RELATIVE_PATH reached "${SOURCE_DIR}" "${candidate}")
      set(${out} "${reached}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

# Where the files of each part find what they include besides their own
# folder (their include paths).
set(src_roots src pallix/include)
set(pallix_roots pallix/src pallix/include)
set(tool_roots src pallix/include pallix/src)
set(web_roots . src)

# --- 1. src/: layers and upward includes ------------------------------------
glob_sources(src src_files)

set(reported_folders "")
foreach(rel IN LISTS src_files)
  string(REGEX REPLACE "^src/" "" inside "${rel}")
  if(NOT inside MATCHES "/")
    fail("${rel}: lies directly in src/, in no layer")
    continue()
  endif()
  string(REGEX REPLACE "/.*" "" folder "${inside}")
  if(NOT DEFINED layer_${folder})
    if(NOT folder IN_LIST reported_folders)
      list(APPEND reported_folders "${folder}")
      fail("src/${folder}/ belongs to no layer: give it one in tests/layers/CheckLayers.cmake and docs/architecture.md")
    endif()
    continue()
  endif()
  read_includes("${SOURCE_DIR}/${rel}" includes)
  foreach(inc IN LISTS includes)
    string(SUBSTRING "${inc}" 1 -1 name)
    resolve_include("${rel}" "${inc}" "${src_roots}" reached)
    if(reached STREQUAL "" AND folder STREQUAL "platform")
      # The headers the platform shares with libPallix (pallix_shared_platform).
      resolve_include("${rel}" "${inc}" "pallix/src" reached)
      if(reached IN_LIST pallix_shared_platform)
        continue()
      endif()
      set(reached "")
    endif()
    if(reached STREQUAL "")
      if(inc MATCHES "^<" OR name MATCHES "\\.moc$|^moc_|^ui_")
        continue()  # the system's, or made by the build
      endif()
      fail("${rel}: includes \"${name}\", found neither beside it, in src/ nor in pallix/include")
      continue()
    endif()
    if(reached MATCHES "^pallix/include/")
      continue()
    endif()
    if(NOT reached MATCHES "^src/([A-Za-z0-9_]+)/")
      fail("${rel}: includes \"${name}\", which is ${reached}: in no folder of src/")
      continue()
    endif()
    set(target "${CMAKE_MATCH_1}")
    if(target IN_LIST layer_${folder})
      continue()
    endif()
    string(REGEX REPLACE "^src/" "" reached_inside "${reached}")
    set(allowed FALSE)
    foreach(rule IN LISTS allowed_upward)
      string(REPLACE "|" ";" parts "${rule}")
      list(GET parts 0 from_glob)
      list(GET parts 1 to_file)
      string(REPLACE "*" ".*" from_regex "^${from_glob}$")
      if(inside MATCHES "${from_regex}" AND reached_inside STREQUAL to_file)
        set(allowed TRUE)
      endif()
    endforeach()
    if(NOT allowed)
      list(JOIN layer_${folder} ", " may)
      # Up into a layer above, or across into one beside (neither may
      # include the other: the two windows, the programs beside the monitor).
      set(way "upward include")
      if(DEFINED layer_${target} AND NOT folder IN_LIST layer_${target})
        set(way "include across the layers")
      endif()
      fail("${rel}: ${way} of \"${name}\", which is ${reached} (${folder} may include ${may})")
    endif()
  endforeach()
endforeach()

# --- 2. libPallix and the station tool stand apart --------------------------
glob_sources(pallix pallix_files)
foreach(rel IN LISTS pallix_files)
  read_includes("${SOURCE_DIR}/${rel}" includes)
  foreach(inc IN LISTS includes)
    string(SUBSTRING "${inc}" 1 -1 name)
    resolve_include("${rel}" "${inc}" "${pallix_roots}" reached)
    if(reached STREQUAL "" AND inc MATCHES "^<")
      # The system's, unless it names a file of the monitor.
      resolve_include("${rel}" "${inc}" "src" reached)
      if(reached STREQUAL "")
        continue()
      endif()
    endif()
    if(NOT reached MATCHES "^pallix/")
      fail("${rel}: includes \"${name}\", which is not part of libPallix")
    endif()
  endforeach()
endforeach()

# The one GBK conversion lives in the bottom layer; the station tool shares it.
set(tool_shared "src/platform/Gbk.h")
# The layers the station guide's generator reads the panel model through.
set(guide_may_layers panel util archive journal platform)
glob_sources(tools tool_files)
foreach(rel IN LISTS tool_files)
  read_includes("${SOURCE_DIR}/${rel}" includes)
  foreach(inc IN LISTS includes)
    string(SUBSTRING "${inc}" 1 -1 name)
    resolve_include("${rel}" "${inc}" "${tool_roots}" reached)
    if(reached STREQUAL "" AND inc MATCHES "^<")
      continue()  # the system's
    endif()
    if(reached MATCHES "^tools/|^pallix/include/" OR reached IN_LIST tool_shared)
      continue()
    endif()
    # The station guide's generator reads the panel model and the library's
    # record reader; it is a build step, never shipped.
    if(rel MATCHES "^tools/station-guide/")
      string(REGEX REPLACE "^src/([A-Za-z0-9_]+)/.*" "\\1" target "${reached}")
      if(reached MATCHES "^pallix/src/" OR (reached MATCHES "^src/" AND target IN_LIST guide_may_layers))
        continue()
      endif()
      list(JOIN guide_may_layers ", " may)
      fail("${rel}: includes \"${name}\": the station guide reads the panel model, not the monitor (it may include ${may} and libPallix)")
      continue()
    endif()
    fail("${rel}: includes \"${name}\": the station tool uses only its own files and libPallix's public headers")
  endforeach()
endforeach()

# --- 3. brenna-web ------------------------------------------------------------
glob_sources(web web_files)
foreach(rel IN LISTS web_files)
  read_includes("${SOURCE_DIR}/${rel}" includes)
  foreach(inc IN LISTS includes)
    string(SUBSTRING "${inc}" 1 -1 name)
    resolve_include("${rel}" "${inc}" "${web_roots}" reached)
    if(reached STREQUAL "" AND inc MATCHES "^<")
      continue()  # the system's
    endif()
    if(reached MATCHES "^web/")
      continue()
    endif()
    string(REGEX REPLACE "^src/" "" reached_inside "${reached}")
    string(REGEX REPLACE "/.*" "" target "${reached_inside}")
    if(reached MATCHES "^src/" AND target IN_LIST web_may_layers)
      continue()
    endif()
    list(JOIN web_may_layers ", " may)
    fail("${rel}: includes \"${name}\": brenna-web reads the archive and the panel model, nothing of the monitor's window or data path (it may include ${may})")
  endforeach()
endforeach()

# --- 4. the Qt-free core ----------------------------------------------------
set(core "")
foreach(folder IN LISTS qt_free_folders)
  foreach(rel IN LISTS src_files)
    if(rel MATCHES "^src/${folder}/")
      list(APPEND core "${rel}")
    endif()
  endforeach()
endforeach()
list(APPEND core ${pallix_files} ${web_files})
if(CORE_SOURCES_FILE)
  file(STRINGS "${CORE_SOURCES_FILE}" core_sources)
  foreach(path IN LISTS core_sources)
    file(RELATIVE_PATH rel "${SOURCE_DIR}" "${path}")
    if(EXISTS "${SOURCE_DIR}/${rel}")
      list(APPEND core "${rel}")
    endif()
  endforeach()
endif()

# What a core file includes is core too.
set(pending ${core})
set(core "")
while(pending)
  list(POP_FRONT pending rel)
  if(rel IN_LIST core)
    continue()
  endif()
  list(APPEND core "${rel}")
  read_includes("${SOURCE_DIR}/${rel}" includes)
  foreach(inc IN LISTS includes)
    string(SUBSTRING "${inc}" 1 -1 name)
    if(name MATCHES "${qt_include_regex}")
      fail("${rel}: includes the Qt header <${name}> in the Qt-free core")
      continue()
    endif()
    if(rel MATCHES "^pallix/")
      resolve_include("${rel}" "${inc}" "${pallix_roots}" reached)
    elseif(rel MATCHES "^web/")
      resolve_include("${rel}" "${inc}" "${web_roots}" reached)
    else()
      resolve_include("${rel}" "${inc}" "${src_roots}" reached)
    endif()
    if(NOT reached STREQUAL "")
      list(APPEND pending "${reached}")
    endif()
  endforeach()
endwhile()

list(LENGTH src_files src_count)
list(LENGTH core core_count)
if(failures)
  list(LENGTH failures n)
  string(REPLACE ";" "\n  " text "${failures}")
  message(FATAL_ERROR "CheckLayers: ${n} breach(es) of the layers:\n  ${text}\n")
endif()
message(STATUS "CheckLayers: ${src_count} files in src/ keep their layers; ${core_count} files of the core are Qt-free")
