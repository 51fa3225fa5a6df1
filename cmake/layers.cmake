# kestrel_layer(<target> <path>...)
#
# The headers a target offers, by the path they are included with
# ("engine/log_reader.h"). The target gets an include directory of its own in
# the build tree, ${CMAKE_BINARY_DIR}/include/<target>, holding nothing but
# links to those paths: a library's folders are found only by the targets that
# link it, so a layer that includes one above it fails to compile.
#
# Each path is relative to the source root: a folder, a file, or a glob of
# files where libraries share a folder ("platform/*.h"). A header reached
# through a file link sees only the linked files beside it, which is why
# headers include each other by their full path, never by a bare name.
#
# Libraries offer their directory PUBLIC (INTERFACE for header-only ones);
# an executable's is PRIVATE, for the headers of its own folder.
function(kestrel_layer target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  # Made anew at each configure, so a header that moved is no longer offered.
  # REMOVE_RECURSE removes the links, never what they point to.
  file(REMOVE_RECURSE ${root})
  foreach(path IN LISTS ARGN)
    if(path MATCHES "[*?]")
      file(GLOB found CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/${path})
    elseif(EXISTS ${CMAKE_SOURCE_DIR}/${path})
      set(found ${path})
    else()
      message(FATAL_ERROR "kestrel_layer(${target}): ${path} does not exist")
    endif()
    foreach(entry IN LISTS found)
      get_filename_component(parent ${root}/${entry} DIRECTORY)
      file(MAKE_DIRECTORY ${parent})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${entry} ${root}/${entry} SYMBOLIC)
    endforeach()
  endforeach()

  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  elseif(type STREQUAL "EXECUTABLE")
    target_include_directories(${target} PRIVATE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
