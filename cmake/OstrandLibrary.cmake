# ostrand_library(NAME SOURCES ... [DEPENDS ...] [PRIVATE_DEPENDS ...] [FOLDER dir])
#
# Declares one subsystem library. Headers are included by their path from
# the source root ("framework/GenericPlugin.h"), but a target only sees the
# folders of the libraries it links: each library publishes an include root
# of its own in the build tree that holds nothing but a link to its folder.
# So a layer that includes a header of a layer it does not depend on fails
# to compile, instead of waiting for a review to notice.
function(ostrand_library name)
  cmake_parse_arguments(ARG "" "FOLDER" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  if(NOT ARG_FOLDER)
    file(RELATIVE_PATH ARG_FOLDER ${OSTRAND_SOURCE_ROOT} ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  get_filename_component(parent ${root}/${ARG_FOLDER} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${ARG_FOLDER})
    file(CREATE_LINK ${OSTRAND_SOURCE_ROOT}/${ARG_FOLDER} ${root}/${ARG_FOLDER} SYMBOLIC)
  endif()
  if(ARG_SOURCES)
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${root})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE ostrand_warnings ${ARG_PRIVATE_DEPENDS})
  else()
    # Header-only for now.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${root})
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
  endif()
endfunction()
