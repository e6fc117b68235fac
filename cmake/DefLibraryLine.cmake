# Puts the DLL's name at the head of the module-definition file the linker
# wrote (-Wl,--output-def writes none): an import library made from the
# file alone (lib /def, dlltool -d) must load that DLL, not one named
# "(null)". Run after each link of the DLL:
#   cmake -DDEF=<file.def> -DDLL=<name.dll> -P DefLibraryLine.cmake
file(READ ${DEF} def_text)
if(NOT def_text MATCHES "^LIBRARY ")
  file(WRITE ${DEF} "LIBRARY \"${DLL}\"\n${def_text}")
endif()
