# One static library per folder. A library sees the headers of its own folder and of the
# libraries it links, nothing else: its include path is a folder of symbolic links made for it
# (build/include-views/<library>/<folder> -> the source folder), and the views of what it links
# come with the link. An include of a folder the library may not use does not compile, so the
# link dependencies below are the whole contract between the layers.
#
#   mendery_library(<target> <folder> [USES <library>...] [SOURCES <file>...])
#   (without SOURCES: every .cpp directly in the folder)
function(mendery_library target folder)
  cmake_parse_arguments(arg "" "" "USES;SOURCES" ${ARGN})
  if(NOT arg_SOURCES)
    file(GLOB arg_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  endif()
  add_library(${target} STATIC ${arg_SOURCES})
  mendery_include_view(${target} ${folder})
  target_link_libraries(${target} PUBLIC ${arg_USES})
endfunction()

# Gives <target> the headers of <folder> (through a view of symbolic links, as above).
function(mendery_include_view target folder)
  string(REPLACE "/" "_" view_name "${target}")
  set(view ${CMAKE_BINARY_DIR}/include-views/${view_name})
  get_filename_component(parent ${view}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${view}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${view})
endfunction()
