# The project's version is the one source of the library's version: the public
# header spells it out for hosts (so the header works from the source tree as
# it is), and configuring fails when the two disagree. The shared library's
# file name and SONAME, the DLL's version resource, the CMake package and the
# pkg-config file all take it from here.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/mxplugin/mxplugin.h mx_version_lines
     REGEX "^#define MXPLUGIN_VERSION_(MAJOR|MINOR|PATCH|STRING) ")
set(mx_header_version "")
foreach(part MAJOR MINOR PATCH STRING)
  if(NOT mx_version_lines MATCHES "#define MXPLUGIN_VERSION_${part} \"?([0-9.]+)\"?")
    message(FATAL_ERROR "include/mxplugin/mxplugin.h does not define MXPLUGIN_VERSION_${part}")
  endif()
  list(APPEND mx_header_version "${CMAKE_MATCH_1}")
endforeach()
set(mx_project_version ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH}
    ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
if(NOT mx_header_version STREQUAL mx_project_version)
  list(JOIN mx_header_version ", " mx_header_shown)
  list(JOIN mx_project_version ", " mx_project_shown)
  message(FATAL_ERROR "include/mxplugin/mxplugin.h says version ${mx_header_shown}, "
                      "project() says ${mx_project_shown}: change both together")
endif()
