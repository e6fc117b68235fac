# Makes one setup program (cmake -P, from packaging/windows-setup): the
# files it installs staged as they are installed, the programs stripped,
# then makensis three times: the uninstaller (Uninstall.nsi), the
# uninstall.exe that waits for it (UninstallLauncher.nsi), and the setup
# holding both. The setup's makensis output, which lists every file it took
# in, is kept beside the setup (<setup>.log) for the tests to read.
#
#   -DARCH=x64|x86 -DVERSION=... -DSTAGE=<folder> -DOUTFILE=<setup.exe>
#   -DPROGRAMS=<exe and dll files> -DSTRIP=<strip> -DICON=<.ico>
#   -DSOURCE_DIR=<source tree> -DMAKENSIS=<makensis> -DSCRIPT_DIR=<folder of the .nsi>
foreach(var ARCH VERSION STAGE OUTFILE PROGRAMS STRIP ICON SOURCE_DIR MAKENSIS SCRIPT_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "MakeSetup.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/docs ${STAGE}/data/demo ${STAGE}/uninstaller)
foreach(program IN LISTS PROGRAMS)
  if(NOT EXISTS ${program})
    message(FATAL_ERROR "MakeSetup.cmake: ${program} was not built")
  endif()
  get_filename_component(name ${program} NAME)
  execute_process(COMMAND ${STRIP} -o ${STAGE}/${name} ${program} RESULT_VARIABLE stripped)
  if(NOT stripped EQUAL 0)
    message(FATAL_ERROR "MakeSetup.cmake: ${STRIP} could not strip ${program}")
  endif()
endforeach()
file(GLOB docs ${SOURCE_DIR}/docs/*.md)
file(COPY ${docs} DESTINATION ${STAGE}/docs)
file(COPY ${SOURCE_DIR}/README.md DESTINATION ${STAGE})
file(GLOB demo ${SOURCE_DIR}/data/demo/*)
file(COPY ${demo} DESTINATION ${STAGE}/data/demo)

# makensis SCRIPT with the common definitions and ARGN, its output in LOG.
function(run_makensis script log)
  execute_process(
    COMMAND ${MAKENSIS} -V4 -DVERSION=${VERSION} -DARCH=${ARCH} -DICON=${ICON} ${ARGN}
            ${SCRIPT_DIR}/${script}
    WORKING_DIRECTORY ${SCRIPT_DIR}
    OUTPUT_FILE ${log}
    ERROR_VARIABLE errors
    RESULT_VARIABLE made)
  if(NOT made EQUAL 0)
    file(READ ${log} text)
    message(FATAL_ERROR "makensis could not make ${script}:\n${text}\n${errors}")
  endif()
endfunction()

set(core ${STAGE}/uninstaller/uninstall-core.exe)
run_makensis(Uninstall.nsi ${STAGE}/uninstaller/uninstall-core.log
             -DOUTFILE=${STAGE}/uninstaller/vehicle.exe -DUNINSTALLER=${core})
if(NOT EXISTS ${core})
  message(FATAL_ERROR "MakeSetup.cmake: makensis left no uninstaller at ${core}")
endif()
run_makensis(UninstallLauncher.nsi ${STAGE}/uninstaller/uninstall.log
             -DOUTFILE=${STAGE}/uninstall.exe -DUNINSTALLER=${core})
run_makensis(BrennaCenter.nsi ${OUTFILE}.log -DSTAGE=${STAGE} -DOUTFILE=${OUTFILE}.part)
# Put in place whole, so an interrupted build leaves no half setup.
file(RENAME ${OUTFILE}.part ${OUTFILE})
