# A Windows program as a PC gets it: a program for the Windows desktop of
# the given machine type, made for Windows 7 on, that loads only Windows'
# own DLLs (the C and C++ run-time linked in; libPallix.dll is loaded at
# run time, not imported).
#
#   cmake -DPROGRAM=<exe> -DOBJDUMP=<mingw objdump> -DFORMAT=<pei-x86-64|pei-i386> -P CheckImports.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT EXISTS "${PROGRAM}")
  message(FATAL_ERROR "no program ${PROGRAM}")
endif()
execute_process(COMMAND ${OBJDUMP} -p "${PROGRAM}" OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${PROGRAM}")
endif()

set(failures "")
if(NOT headers MATCHES "file format ${FORMAT}")
  list(APPEND failures "not a ${FORMAT} program")
endif()
if(NOT headers MATCHES "Subsystem[ \t]+00000002")
  list(APPEND failures "not a program for the Windows desktop (subsystem 2)")
endif()
# Made for Windows 7 on (6.1), the oldest it runs on: an older one refuses
# it at once rather than fail on a call it lacks.
foreach(field OSystem Subsystem)
  if(NOT headers MATCHES "Major${field}Version[ \t]+6[\r\n]"
     OR NOT headers MATCHES "Minor${field}Version[ \t]+1[\r\n]")
    list(APPEND failures "not made for Windows 7 on (${field} version 6.1)")
  endif()
endforeach()
# What every Windows since 7 has in its system folder.
set(windows_dlls ADVAPI32.dll bcrypt.dll COMCTL32.dll GDI32.dll KERNEL32.dll msvcrt.dll SHELL32.dll
                 USER32.dll WS2_32.dll ole32.dll)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${headers}")
if(NOT imports)
  list(APPEND failures "imports nothing at all")
endif()
foreach(entry IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${entry}")
  string(STRIP "${dll}" dll)
  set(known FALSE)
  foreach(windows IN LISTS windows_dlls)
    string(TOLOWER "${windows}" a)
    string(TOLOWER "${dll}" b)
    if(a STREQUAL b)
      set(known TRUE)
    endif()
  endforeach()
  if(NOT known)
    list(APPEND failures "imports ${dll}, which Windows does not bring")
  endif()
endforeach()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "${PROGRAM}:\n  ${text}")
endif()
message(STATUS "${PROGRAM}: ${FORMAT}, Windows desktop, imports ${imports}")
