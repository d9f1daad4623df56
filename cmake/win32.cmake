# The Windows program, its Windows-side tests (run under Wine) and the test tools.
enable_language(RC)

set(QV_UPDATE_HOST "" CACHE STRING "Host name of the update server")
if(QV_UPDATE_HOST STREQUAL "")
  # A release without a configured server fails visibly instead of reaching a stranger's host.
  set(QV_UPDATE_HOST_EFFECTIVE "update.quorvel.invalid")
else()
  set(QV_UPDATE_HOST_EFFECTIVE "${QV_UPDATE_HOST}")
endif()
message(STATUS "Update server host: ${QV_UPDATE_HOST_EFFECTIVE}")

add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers
                    -Wno-cast-function-type)
add_link_options(-static -static-libgcc -static-libstdc++)

set(QV_WIN_LIBS wininet netapi32 version shell32 comctl32 msimg32 msvfw32 winmm
                gdi32 user32 kernel32 ole32 uuid)

file(GLOB QV_WIN_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/framework/*.cpp
     ${CMAKE_SOURCE_DIR}/app/*.cpp
     ${CMAKE_SOURCE_DIR}/update/*.cpp
     ${CMAKE_SOURCE_DIR}/controls/*.cpp)
# The one global application object lives only in the program itself.
list(REMOVE_ITEM QV_WIN_SOURCES ${CMAKE_SOURCE_DIR}/app/QuorvelDownloadApp.cpp)

add_library(qvcore STATIC ${QV_LOGIC_SOURCES} ${QV_WIN_SOURCES})
target_include_directories(qvcore PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(qvcore PUBLIC QV_UPDATE_HOST=L"${QV_UPDATE_HOST_EFFECTIVE}")
target_link_libraries(qvcore PUBLIC ${QV_WIN_LIBS})

set(QV_RC ${CMAKE_SOURCE_DIR}/resources/QuorvelDownloader.rc)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/resources")
file(GLOB QV_RC_DEPENDS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*
     ${CMAKE_SOURCE_DIR}/resources/bitmaps/*.bmp)
set_source_files_properties(${QV_RC} PROPERTIES OBJECT_DEPENDS "${QV_RC_DEPENDS}")

add_executable(QuorvelDownloader WIN32 ${CMAKE_SOURCE_DIR}/app/QuorvelDownloadApp.cpp ${QV_RC})
target_link_libraries(QuorvelDownloader PRIVATE qvcore)
target_link_options(QuorvelDownloader PRIVATE -municode -mwindows)

# Windows-side tests: one GoogleTest program per file, run by ctest under Wine.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
file(GLOB QV_WINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp)
file(GLOB QV_WINE_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/support/*.cpp)
foreach(src ${QV_WINE_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} ${QV_WINE_TEST_SUPPORT} ${QV_RC})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine)
  target_link_libraries(${name} PRIVATE qvcore gtest gtest_main)
  add_test(NAME wine.${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(wine.${name} PROPERTIES TIMEOUT 300)
endforeach()

# Small Windows programs the tests and the demo use (stand-in scanner, setup program, driver).
file(GLOB QV_TOOLS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/*.cpp)
foreach(src ${QV_TOOLS})
  get_filename_component(name ${src} NAME_WE)
  set(rc ${CMAKE_SOURCE_DIR}/tests/tools/${name}.rc)
  if(EXISTS ${rc})
    add_executable(${name} ${src} ${rc})
  else()
    add_executable(${name} ${src})
  endif()
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  if(name MATCHES "^Bench")
    target_link_libraries(${name} PRIVATE qvcore)  # benchmarks run the program's own code
  endif()
  target_link_libraries(${name} PRIVATE ${QV_WIN_LIBS})
  target_link_options(${name} PRIVATE -municode)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endforeach()

# The probes again in a 32-bit Windows prefix (made by scripts/test.sh), for the other bitness.
if(TARGET probes_test)
  add_test(NAME wine32.probes_test COMMAND probes_test --gtest_brief=1)
  set_tests_properties(wine32.probes_test PROPERTIES TIMEOUT 300
    ENVIRONMENT "WINEARCH=win32;WINEPREFIX=${CMAKE_BINARY_DIR}/../wine32;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
endif()
if(TARGET TalvixStandIn)
  set_target_properties(TalvixStandIn DemoSetup MinimalWindow BenchImportsWindow PROPERTIES WIN32_EXECUTABLE ON)
endif()
