# The source folders are layers. framework/ is at the bottom; controls/ and system/ are siblings on
# it; update/ is built on system/ (never on controls/); app/ is on top of them all. A layer's code
# sees its own folder, the folders it is built on and resources/ through a view in the build tree
# that links only those, so an include of any other folder does not compile.
# A layer's folder may hold rooms (update/sources/, update/release/, ...): the layer's Windows code
# is its own .cpp files and its rooms', its pure logic its logic/ and its rooms' logic/ folders.
set(QV_LAYERS framework controls system update app)
set(QV_LAYER_BASES_framework "")
set(QV_LAYER_BASES_controls framework)
set(QV_LAYER_BASES_system framework)
set(QV_LAYER_BASES_update framework system)
set(QV_LAYER_BASES_app framework controls system update)
get_filename_component(QV_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

# Sets out_var to the include folder of the layer's view, making it on first use.
function(qv_layer_view layer out_var)
  set(view ${CMAKE_BINARY_DIR}/layers/${layer})
  file(MAKE_DIRECTORY ${view})
  set(seen resources ${layer} ${QV_LAYER_BASES_${layer}})
  foreach(folder IN LISTS QV_LAYERS)
    # A build tree made under another layer rule may hold a link this layer may no longer see.
    if(NOT folder IN_LIST seen AND IS_SYMLINK ${view}/${folder})
      file(REMOVE ${view}/${folder})
    endif()
  endforeach()
  foreach(folder IN LISTS seen)
    if(NOT EXISTS ${view}/${folder})
      file(CREATE_LINK ${QV_SOURCE_ROOT}/${folder} ${view}/${folder} SYMBOLIC)
    endif()
  endforeach()
  set(${out_var} ${view} PARENT_SCOPE)
endfunction()

# Sets out_var to the layer's Windows-side sources: its own .cpp files and its rooms', not logic/.
function(qv_layer_sources out_var layer)
  file(GLOB sources CONFIGURE_DEPENDS ${QV_SOURCE_ROOT}/${layer}/*.cpp ${QV_SOURCE_ROOT}/${layer}/*/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/logic/[^/]*$")
  set(${out_var} ${sources} PARENT_SCOPE)
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
    file(GLOB sources CONFIGURE_DEPENDS ${QV_SOURCE_ROOT}/${layer}/logic/*.cpp
         ${QV_SOURCE_ROOT}/${layer}/*/logic/*.cpp)
    set(depends)
    if(layer STREQUAL "update")
      set(depends ${prefix}system_logic)
    elseif(layer STREQUAL "app")
      set(depends ${prefix}update_logic ${prefix}controls_logic)
    endif()
    qv_add_layer_library(${prefix}${layer}_logic ${layer} SOURCES ${sources} DEPENDS ${depends})
  endforeach()
endfunction()
