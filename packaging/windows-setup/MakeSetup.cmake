# Makes one setup program (cmake -P, from packaging/windows-setup): the
# files it installs staged as they are installed, the programs stripped,
# then makensis. Its output, which lists every file it took in, is kept
# beside the setup (<setup>.log) for the tests to read.
#
#   -DARCH=x64|x86 -DVERSION=... -DSTAGE=<folder> -DOUTFILE=<setup.exe>
#   -DPROGRAMS=<exe and dll files> -DSTRIP=<strip> -DICON=<.ico>
#   -DSOURCE_DIR=<source tree> -DMAKENSIS=<makensis> -DSCRIPT=<.nsi>
foreach(var ARCH VERSION STAGE OUTFILE PROGRAMS STRIP ICON SOURCE_DIR MAKENSIS SCRIPT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "MakeSetup.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/docs ${STAGE}/data/demo)
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

execute_process(
  COMMAND ${MAKENSIS} -V4 -DVERSION=${VERSION} -DARCH=${ARCH} -DSTAGE=${STAGE}
          -DICON=${ICON} -DOUTFILE=${OUTFILE}.part ${SCRIPT}
  WORKING_DIRECTORY ${SOURCE_DIR}/packaging/windows-setup
  OUTPUT_FILE ${OUTFILE}.log
  ERROR_VARIABLE errors
  RESULT_VARIABLE made)
if(NOT made EQUAL 0)
  file(READ ${OUTFILE}.log log)
  message(FATAL_ERROR "makensis could not make ${OUTFILE}:\n${log}\n${errors}")
endif()
# Put in place whole, so an interrupted build leaves no half setup.
file(RENAME ${OUTFILE}.part ${OUTFILE})
