# The component's floors. Each folder of the component is one static library that sees
# only its own folder and the folders of the floors it links: its include path is a
# directory of the build tree holding one link, named after the folder, to the folder
# itself. A library that links floor X sees "X/..." through X's public include path and
# nothing else of the source tree, so an include that points up a floor (or sideways to
# a floor it does not link) fails to build.
function(lumora_floor target folder)
  cmake_parse_arguments(ARG "" "" "SOURCES;BELOW" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  set(view ${CMAKE_BINARY_DIR}/floors/${target})
  file(MAKE_DIRECTORY ${view})
  get_filename_component(name ${folder} NAME)
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${view}/${name} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${view})
  target_link_libraries(${target} PUBLIC ${ARG_BELOW})
endfunction()
