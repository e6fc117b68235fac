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
#      archive      -> archive, journal, platform
#      util         -> util, archive, journal, platform
#      acquisition,
#      presentation -> acquisition, presentation, util, archive, journal, platform
#      app          -> everything in src/ but history
#      history      -> everything in src/ but records (brenna-history)
#      records      -> records (it stands apart)
#    and all of them libPallix's public headers (pallix/include). The
#    journal sits just above platform, below every layer that logs; the
#    archive of shown results just above it, so the data path and the
#    window may hand it what they show and it reaches none of them. The few
#    upward includes the design needs are allowed by name below.
# 2. libPallix (pallix/) includes only its own files; the station tool
#    (tools/) only its own, libPallix's public headers and the platform
#    layer's GBK conversion; the station guide's generator (a build step)
#    also reads the monitor's tables and libPallix's record reader.
# 3. brenna-web (web/, a program beside the monitor) includes its own files,
#    the archive, platform, journal and util layers, brenna-history's text
#    escaping, the routing and display lists of presentation/, and of app/
#    only the window's template table: nothing of the monitor's window.
# 4. No Qt header in the Qt-free core: all of acquisition/, archive/,
#    history/, journal/, platform/, records/, pallix/ and web/, every source
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
set(layer_archive archive journal platform)
set(layer_util util archive journal platform)
set(layer_acquisition acquisition presentation util archive journal platform)
set(layer_presentation acquisition presentation util archive journal platform)
set(layer_app app acquisition presentation util archive journal platform records)
set(layer_history history app acquisition presentation util archive journal platform)
set(layer_records records)

# Upward includes the design requires: "<folder or file glob>|<included file>".
# The core reaches the main window's displays, the spool lock and the task
# queue through the application's globals; the port dialog is built by the
# application's dialog builder from a template and answers in its message
# boxes and journals through the window's logging categories. The platform
# reports through the journal's entry points (journal/Journal.h includes
# nothing of the monitor's own).
set(allowed_upward
    "platform/*|journal/Journal.h"
    "acquisition/*|app/Globals.h"
    "presentation/*|app/Globals.h"
    "util/PortSet*|app/Globals.h"
    "util/PortSet*|app/DialogBuilder.h"
    "util/PortSet*|app/DialogTemplate.h"
    "util/PortSet*|app/MessageBox.h"
    "util/PortSet*|app/MonitorJournal.h"
    "util/PortSet*|app/Resource.h")

# What brenna-web may include of src/: whole layers, and single files of
# the layers that also hold the window.
set(web_may_layers archive journal platform util)
set(web_may_files
    app/DialogTemplate.h app/Templates.h app/Resource.h app/VerdictLegend.h
    history/SafeText.h
    presentation/ResultRouting.h presentation/ValueDisplayIds.h presentation/FontFit.h)

# Folders whose every file is Qt-free.
set(qt_free_folders acquisition archive history journal platform records)

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

# The quoted includes of a file (what the tree itself may provide), by name.
function(read_quoted_includes file out)
  read_includes("${file}" includes)
  set(result "")
  foreach(inc IN LISTS includes)
    if(inc MATCHES "^\"")
      string(SUBSTRING "${inc}" 1 -1 name)
      list(APPEND result "${name}")
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

# --- 1. src/: layers and upward includes ------------------------------------
glob_sources(src src_files)
set(pallix_public "")
if(IS_DIRECTORY "${SOURCE_DIR}/pallix/include")
  file(GLOB pallix_public LIST_DIRECTORIES false RELATIVE "${SOURCE_DIR}/pallix/include"
       "${SOURCE_DIR}/pallix/include/*")
endif()

set(reported_folders "")
foreach(rel IN LISTS src_files)
  string(REGEX REPLACE "^src/" "" inside "${rel}")
  if(NOT inside MATCHES "/")
    fail("${rel}: lies directly in src/, in no layer")
    continue()
  endif()
  string(REGEX REPLACE "/.*" "" folder "${inside}")
  get_filename_component(dir "${SOURCE_DIR}/${rel}" DIRECTORY)
  if(NOT DEFINED layer_${folder})
    if(NOT folder IN_LIST reported_folders)
      list(APPEND reported_folders "${folder}")
      fail("src/${folder}/ belongs to no layer: give it one in tests/layers/CheckLayers.cmake and docs/architecture.md")
    endif()
    continue()
  endif()
  read_includes("${SOURCE_DIR}/${rel}" includes)
  foreach(inc IN LISTS includes)
    if(NOT inc MATCHES "^\"")
      continue()
    endif()
    string(SUBSTRING "${inc}" 1 -1 name)
    if(name MATCHES "^([A-Za-z0-9_]+)/")
      set(target "${CMAKE_MATCH_1}")
      if(NOT IS_DIRECTORY "${SOURCE_DIR}/src/${target}")
        fail("${rel}: includes \"${name}\", which is in no folder of src/")
        continue()
      endif()
    elseif(EXISTS "${dir}/${name}")
      set(target "${folder}")
    elseif(name IN_LIST pallix_public)
      continue()
    elseif(name MATCHES "\\.moc$|^moc_|^ui_")
      continue()  # made by the build
    else()
      fail("${rel}: includes \"${name}\", found neither beside it nor in pallix/include")
      continue()
    endif()
    if(target IN_LIST layer_${folder})
      continue()
    endif()
    set(allowed FALSE)
    foreach(rule IN LISTS allowed_upward)
      string(REPLACE "|" ";" parts "${rule}")
      list(GET parts 0 from_glob)
      list(GET parts 1 to_file)
      string(REPLACE "*" ".*" from_regex "^${from_glob}$")
      if(inside MATCHES "${from_regex}" AND name STREQUAL to_file)
        set(allowed TRUE)
      endif()
    endforeach()
    if(NOT allowed)
      list(JOIN layer_${folder} ", " may)
      fail("${rel}: upward include of \"${name}\" (${folder} may include ${may})")
    endif()
  endforeach()
endforeach()

# --- 2. libPallix and the station tool stand apart --------------------------
glob_sources(pallix pallix_files)
foreach(rel IN LISTS pallix_files)
  get_filename_component(dir "${SOURCE_DIR}/${rel}" DIRECTORY)
  read_quoted_includes("${SOURCE_DIR}/${rel}" names)
  foreach(name IN LISTS names)
    if(NOT EXISTS "${dir}/${name}" AND NOT EXISTS "${SOURCE_DIR}/pallix/src/${name}"
       AND NOT EXISTS "${SOURCE_DIR}/pallix/include/${name}")
      fail("${rel}: includes \"${name}\", which is not part of libPallix")
    endif()
  endforeach()
endforeach()

# The one GBK conversion lives in the bottom layer; the station tool shares it.
set(tool_shared "platform/Gbk.h")
glob_sources(tools tool_files)
foreach(rel IN LISTS tool_files)
  get_filename_component(dir "${SOURCE_DIR}/${rel}" DIRECTORY)
  read_quoted_includes("${SOURCE_DIR}/${rel}" names)
  foreach(name IN LISTS names)
    if(EXISTS "${dir}/${name}" OR name IN_LIST pallix_public OR name IN_LIST tool_shared)
      continue()
    endif()
    # The station guide's generator reads the monitor's own tables and the
    # library's record reader; it is a build step, never shipped.
    if(rel MATCHES "^tools/station-guide/" AND (EXISTS "${SOURCE_DIR}/src/${name}"
                                                 OR EXISTS "${SOURCE_DIR}/pallix/src/${name}"))
      continue()
    endif()
    fail("${rel}: includes \"${name}\": the station tool uses only its own files and libPallix's public headers")
  endforeach()
endforeach()

# --- 3. brenna-web ------------------------------------------------------------
glob_sources(web web_files)
foreach(rel IN LISTS web_files)
  get_filename_component(dir "${SOURCE_DIR}/${rel}" DIRECTORY)
  read_quoted_includes("${SOURCE_DIR}/${rel}" names)
  foreach(name IN LISTS names)
    if(name MATCHES "^web/" AND EXISTS "${SOURCE_DIR}/${name}")
      continue()
    endif()
    if(EXISTS "${dir}/${name}" AND NOT name MATCHES "/")
      continue()
    endif()
    if(name IN_LIST web_may_files)
      continue()
    endif()
    string(REGEX REPLACE "/.*" "" target "${name}")
    if(name MATCHES "/" AND target IN_LIST web_may_layers AND EXISTS "${SOURCE_DIR}/src/${name}")
      continue()
    endif()
    list(JOIN web_may_layers ", " may)
    list(JOIN web_may_files ", " files)
    fail("${rel}: includes \"${name}\": brenna-web reads the archive and the window's template, nothing else of the monitor (it may include ${may} and the files ${files})")
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
  get_filename_component(dir "${SOURCE_DIR}/${rel}" DIRECTORY)
  read_includes("${SOURCE_DIR}/${rel}" includes)
  foreach(inc IN LISTS includes)
    string(SUBSTRING "${inc}" 1 -1 name)
    if(name MATCHES "${qt_include_regex}")
      fail("${rel}: includes the Qt header <${name}> in the Qt-free core")
      continue()
    endif()
    if(NOT inc MATCHES "^\"")
      continue()
    endif()
    if(rel MATCHES "^pallix/")
      set(candidates "${dir}/${name}" "${SOURCE_DIR}/pallix/src/${name}")
    elseif(rel MATCHES "^web/")
      set(candidates "${SOURCE_DIR}/${name}" "${dir}/${name}" "${SOURCE_DIR}/src/${name}")
    else()
      set(candidates "${dir}/${name}" "${SOURCE_DIR}/src/${name}")
    endif()
    foreach(candidate IN LISTS candidates)
      if(EXISTS "${candidate}" AND NOT IS_DIRECTORY "${candidate}")
        file(RELATIVE_PATH reached "${SOURCE_DIR}" "${candidate}")
        list(APPEND pending "${reached}")
        break()
      endif()
    endforeach()
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
