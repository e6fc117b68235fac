# cmake -DCLANGXX=<clang++> -DFLAGS=<flags> -DFILES=<sources> -P CheckThreadSafety.cmake
# Compiles each file, syntax only, with clang's thread-safety analysis as
# errors; fails naming every file that does not pass.
if(NOT FILES)
  message(FATAL_ERROR "CheckThreadSafety: no file to check")
endif()
set(failed)
foreach(f IN LISTS FILES)
  execute_process(COMMAND ${CLANGXX} -std=c++17 -fsyntax-only -Wthread-safety
                          -Werror=thread-safety ${FLAGS} ${f}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message("${out}")
    list(APPEND failed ${f})
  endif()
endforeach()
list(LENGTH FILES total)
if(failed)
  list(JOIN failed "\n  " names)
  message(FATAL_ERROR "CheckThreadSafety: ${total} files checked, these fail:\n  ${names}")
endif()
message("CheckThreadSafety: ${total} files pass")
