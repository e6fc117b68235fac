# Helpers of the modules that build a library for Windows from a Debian
# source package with the package's own build system
# (cmake/BrennaOpenssl.cmake, cmake/BrennaLibpq.cmake).
include_guard(GLOBAL)

# brenna_source_package_version(<source folder> <variable>): the upstream
# version of an unpacked Debian source package ("3.0.20" of
# "3.0.20-1~deb12u2"), from its debian/changelog; CMake runs again when
# that changes (a newer package taken).
function(brenna_source_package_version source variable)
  file(STRINGS ${source}/debian/changelog line LIMIT_COUNT 1)
  string(REGEX REPLACE "^[^(]*\\(([0-9][^-)]*).*$" "\\1" version "${line}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source}/debian/changelog)
  set(${variable} ${version} PARENT_SCOPE)
endfunction()

# brenna_static_import(<target> <library file> <include folder> <build target>
#                      [<what it links with>...]): the static library that
# <build target> makes, as the imported <target>; whatever links it is
# built after it.
function(brenna_static_import target library include build)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    IMPORTED_LOCATION ${library}
    INTERFACE_INCLUDE_DIRECTORIES ${include}
    INTERFACE_LINK_LIBRARIES "${ARGN}")
  # It must exist when CMake generates; the build fills it.
  file(MAKE_DIRECTORY ${include})
  add_dependencies(${target} ${build})
endfunction()
