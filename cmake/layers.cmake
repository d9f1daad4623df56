# The source folders are layers, each built on the ones before it in this list:
#   framework/ <- controls/ <- system/ <- update/ <- app/
# A layer's code sees its own folder, the folders below it and resources/ through a view in the
# build tree that links only those, so an include of a higher folder does not compile.
set(QV_LAYERS framework controls system update app)
get_filename_component(QV_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

# Sets out_var to the include folder of the layer's view, making it on first use.
function(qv_layer_view layer out_var)
  set(view ${CMAKE_BINARY_DIR}/layers/${layer})
  file(MAKE_DIRECTORY ${view})
  foreach(folder IN ITEMS resources LISTS QV_LAYERS)
    if(NOT EXISTS ${view}/${folder})
      file(CREATE_LINK ${QV_SOURCE_ROOT}/${folder} ${view}/${folder} SYMBOLIC)
    endif()
    if(folder STREQUAL layer)
      break()
    endif()
  endforeach()
  set(${out_var} ${view} PARENT_SCOPE)
endfunction()

# A static library of one layer: its sources, its view and the layers it is built on.
function(qv_add_layer_library target layer)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  qv_layer_view(${layer} view)
  target_include_directories(${target} PUBLIC ${view})
  if(ARG_DEPENDS)
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS})
  endif()
endfunction()

# The pure logic of each layer (no <windows.h>): built for Windows, natively for the unit tests,
# for the fuzz targets and for the benchmark. Targets are named <prefix>system_logic and so on.
function(qv_add_logic_libraries prefix)
  foreach(layer system controls update app)
    file(GLOB sources CONFIGURE_DEPENDS ${QV_SOURCE_ROOT}/${layer}/logic/*.cpp)
    set(depends)
    if(layer STREQUAL "update")
      set(depends ${prefix}system_logic)
    elseif(layer STREQUAL "app")
      set(depends ${prefix}update_logic ${prefix}controls_logic)
    endif()
    qv_add_layer_library(${prefix}${layer}_logic ${layer} SOURCES ${sources} DEPENDS ${depends})
  endforeach()
endfunction()
