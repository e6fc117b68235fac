# Writes a C++ source that holds files as byte arrays, each returned by a
# function of namespace web (web/WebAssets.h):
#
#   cmake -DOUTPUT=<file.cpp> -DASSETS="<function>=<file>;..." -P EmbedAssets.cmake
cmake_minimum_required(VERSION 3.25)
set(text "// Made by web/EmbedAssets.cmake from web/assets/ and the program's icon: do not edit.\n")
string(APPEND text "#include \"web/WebAssets.h\"\n\nnamespace web {\n")
foreach(pair IN LISTS ASSETS)
  string(REPLACE "=" ";" parts "${pair}")
  list(GET parts 0 function)
  list(GET parts 1 file)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n" bytes "${bytes}")
  string(APPEND text "\nconst std::string& ${function}() {\n  static const unsigned char bytes[] = {\n${bytes}0};\n")
  string(APPEND text "  static const std::string text(reinterpret_cast<const char*>(bytes), ${size});\n  return text;\n}\n")
endforeach()
string(APPEND text "\n}  // namespace web\n")
file(WRITE "${OUTPUT}.tmp" "${text}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
