# The project's version (project() in the top CMakeLists.txt) where the build
# hands it on.

# For scripts/package, which names the zip after it, and the checks of the zip.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/version.txt CONTENT "${PROJECT_VERSION}\n")

# kestrel_version_resource(<target> <description>)
#
# Gives a Windows program a version resource, which Explorer shows in the
# file's properties: the version, the product's name and a description of
# the program. Nothing on other systems.
function(kestrel_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  set(KESTREL_FILE_NAME ${target}.exe)
  set(KESTREL_FILE_DESCRIPTION ${description})
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/resources/version.rc.in ${script} @ONLY)
  target_sources(${target} PRIVATE ${script})
endfunction()
