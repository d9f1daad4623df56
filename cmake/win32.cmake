# The Windows program, its Windows-side tests (run under Wine) and the test tools.
enable_language(RC)

# The update sources, tried in order: "https://host[:port]/path" and "ftp://host[:port]" entries
# with ';' between them. Without them the FTP server QV_UPDATE_HOST (port 5301) is the one source.
set(QV_UPDATE_SOURCES "" CACHE STRING "Ordered update sources: https://host[:port]/path;ftp://host[:port]")
set(QV_UPDATE_HOST "" CACHE STRING "Host name of the FTP update server, when QV_UPDATE_SOURCES is empty")
if(NOT QV_UPDATE_SOURCES STREQUAL "")
  set(QV_UPDATE_SOURCES_EFFECTIVE "${QV_UPDATE_SOURCES}")
elseif(NOT QV_UPDATE_HOST STREQUAL "")
  set(QV_UPDATE_SOURCES_EFFECTIVE "ftp://${QV_UPDATE_HOST}:5301")
else()
  # A release without a configured server fails visibly instead of reaching a stranger's host.
  set(QV_UPDATE_SOURCES_EFFECTIVE "ftp://update.quorvel.invalid:5301")
endif()
foreach(source IN LISTS QV_UPDATE_SOURCES_EFFECTIVE)
  string(STRIP "${source}" source)
  if(source STREQUAL "")
    continue()
  endif()
  if(NOT source MATCHES "^([Hh][Tt][Tt][Pp][Ss]://[A-Za-z0-9.-]+(:[0-9]+)?(/[A-Za-z0-9._~%/-]*)?|[Ff][Tt][Pp]://[A-Za-z0-9.-]+(:[0-9]+)?/?)$")
    message(FATAL_ERROR "QV_UPDATE_SOURCES: \"${source}\" is not an https://host[:port]/path or ftp://host[:port] source.")
  endif()
endforeach()
message(STATUS "Update sources: ${QV_UPDATE_SOURCES_EFFECTIVE}")
include(cmake/signers.cmake)
qv_apply_setup_signers()

add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
# Calls to Windows functions go through their import stubs, not straight through the __imp_
# pointers: GNU ld keeps a delay-import library's stub only when something calls it, and an import
# slot whose stub was dropped jumps to address 0 (cmake/delayload.cmake).
add_compile_definitions(DECLSPEC_IMPORT=)
add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers
                    -Wno-cast-function-type)
add_link_options(-static -static-libgcc -static-libstdc++)

include(cmake/delayload.cmake)
set(QV_WIN_LIBS ${QV_DELAY_LOADED_LIBS} ${QV_STATIC_LIBS})
qv_make_delay_import_libraries(QV_DELAY_IMPORT_LIBS QV_DELAY_LOADED_DLLS)
# Start-up loads these from System32 by hand where Windows cannot limit the search order.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/framework/WinApp.cpp APPEND PROPERTY
             COMPILE_DEFINITIONS "QV_DELAY_LOADED_DLLS=L\"${QV_DELAY_LOADED_DLLS}\"")

# One library per layer; target_link_libraries mirrors the layers.
qv_add_logic_libraries(qv_)
qv_layer_sources(QV_FRAMEWORK_FILES framework)
qv_layer_sources(QV_SYSTEM_FILES system)
qv_layer_sources(QV_CONTROLS_FILES controls)
qv_layer_sources(QV_UPDATE_FILES update)
qv_layer_sources(QV_APP_FILES app)
# The one global application object lives only in the program itself.
list(REMOVE_ITEM QV_APP_FILES ${CMAKE_SOURCE_DIR}/app/QuorvelDownloadApp.cpp)

# A target with the property QV_DELAY_LOAD (the program) gets the delay-import libraries, the tests
# and tools the plain ones.
set(QV_DELAY_LOAD_SWITCH $<BOOL:$<TARGET_PROPERTY:QV_DELAY_LOAD>>)
qv_add_layer_library(qv_framework framework SOURCES ${QV_FRAMEWORK_FILES} DEPENDS
                     "$<${QV_DELAY_LOAD_SWITCH}:${QV_DELAY_IMPORT_LIBS};delayimp>"
                     "$<$<NOT:${QV_DELAY_LOAD_SWITCH}>:${QV_DELAY_LOADED_LIBS}>" ${QV_STATIC_LIBS})
qv_add_layer_library(qv_system system SOURCES ${QV_SYSTEM_FILES} DEPENDS qv_framework qv_system_logic)
qv_add_layer_library(qv_controls controls SOURCES ${QV_CONTROLS_FILES}
                     DEPENDS qv_framework qv_controls_logic)
qv_add_layer_library(qv_update update SOURCES ${QV_UPDATE_FILES} DEPENDS qv_system qv_update_logic)
qv_add_layer_library(qv_app app SOURCES ${QV_APP_FILES} DEPENDS qv_controls qv_update qv_app_logic)
# A compile definition cannot carry CMake's list separator: the program reads '|' as ';'.
string(REPLACE ";" "|" QV_UPDATE_SOURCES_DEFINE "${QV_UPDATE_SOURCES_EFFECTIVE}")
# Each setting goes to the one file that reads it, so that a build with other settings (the release,
# the pinned build) compiles only those files again and takes every other object from ccache.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/update/sources/SourceSessions.cpp APPEND PROPERTY
             COMPILE_DEFINITIONS "QV_UPDATE_SOURCES=L\"${QV_UPDATE_SOURCES_DEFINE}\"")
if(QV_BUILD_TESTS)
  # Lets the end-to-end tests shorten the bounds of a poor line and name their own update sources;
  # a release never reads either.
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/update/sources/SourceSessions.cpp APPEND PROPERTY
               COMPILE_DEFINITIONS QV_TEST_UPDATE_SOURCES)
  set_property(SOURCE ${CMAKE_SOURCE_DIR}/update/engine/UpdateDownload.cpp APPEND PROPERTY
               COMPILE_DEFINITIONS QV_TEST_LINE_BOUNDS)
endif()
# The revocation look-up's time limit lives in the chain parameters' extra fields.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/update/handoff/SetupSignature.cpp APPEND PROPERTY
             COMPILE_DEFINITIONS CERT_CHAIN_PARA_HAS_EXTRA_FIELDS)


set(QV_RC ${CMAKE_SOURCE_DIR}/resources/QuorvelDownloader.rc)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/resources")
file(GLOB QV_RC_DEPENDS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*
     ${CMAKE_SOURCE_DIR}/resources/bitmaps/*.bmp)
set_source_files_properties(${QV_RC} PROPERTIES OBJECT_DEPENDS "${QV_RC_DEPENDS}")

add_executable(QuorvelDownloader WIN32 ${CMAKE_SOURCE_DIR}/app/QuorvelDownloadApp.cpp ${QV_RC})
target_link_libraries(QuorvelDownloader PRIVATE qv_app)
set_target_properties(QuorvelDownloader PROPERTIES QV_DELAY_LOAD ON)
qv_check_delay_stubs(QuorvelDownloader)
target_link_options(QuorvelDownloader PRIVATE -municode -mwindows)

if(NOT QV_BUILD_TESTS)
  return()
endif()

# Windows-side tests: one GoogleTest program per file, run by ctest under Wine.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
file(GLOB QV_WINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp)
# Each program reports its cases in gtest-results/<test name>.xml, which scripts/test.sh counts; the
# programs reach the build tree through Wine's drive Z:. They run in English, as the e2e harness's
# English runs do.
set(QV_GTEST_RESULTS "Z:${CMAKE_BINARY_DIR}/gtest-results")
set(QV_WINE_TEST_ENV "LANG=en_US.UTF-8;LC_ALL=en_US.UTF-8;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
# The tests' own code is compiled with light optimisation: it only drives the program's code, which
# is built as the release is.
set(QV_TEST_CODE_OPTIONS -O1)
target_compile_options(gtest PRIVATE ${QV_TEST_CODE_OPTIONS})
target_compile_options(gtest_main PRIVATE ${QV_TEST_CODE_OPTIONS})
file(GLOB QV_WINE_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/support/*.cpp)
add_library(qv_wine_test_support STATIC ${QV_WINE_TEST_SUPPORT})
target_include_directories(qv_wine_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/wine ${CMAKE_SOURCE_DIR})
target_link_libraries(qv_wine_test_support PUBLIC qv_app gtest)
target_compile_options(qv_wine_test_support PRIVATE ${QV_TEST_CODE_OPTIONS})
foreach(src ${QV_WINE_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} ${QV_RC})
  target_compile_options(${name} PRIVATE ${QV_TEST_CODE_OPTIONS})
  target_link_libraries(${name} PRIVATE qv_wine_test_support qv_app gtest gtest_main)
  add_test(NAME wine.${name} COMMAND ${name} --gtest_brief=1 --gtest_output=xml:${QV_GTEST_RESULTS}/wine.${name}.xml)
  set_tests_properties(wine.${name} PROPERTIES TIMEOUT 300 ENVIRONMENT "${QV_WINE_TEST_ENV}")
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
  if(name MATCHES "^Bench" OR name STREQUAL "QvHttpProbe")
    target_link_libraries(${name} PRIVATE qv_app)  # benchmarks and the HTTPS probe run the program's own code
  endif()
  if(name STREQUAL "QvAccProbe")
    target_link_libraries(${name} PRIVATE oleacc oleaut32 ole32 uuid)
  endif()
  target_link_libraries(${name} PRIVATE ${QV_WIN_LIBS})
  target_link_options(${name} PRIVATE -municode)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endforeach()

# The DLL the planting test leaves beside the program under every name the program uses, and the
# same DLL of the other bitness (QvPlantedOther.dll), made by the other MinGW-w64 compiler.
add_library(QvPlanted SHARED ${CMAKE_SOURCE_DIR}/tests/tools/planted/PlantedDll.cpp)
set_target_properties(QvPlanted PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QV_OTHER_TRIPLET i686-w64-mingw32)
else()
  set(QV_OTHER_TRIPLET x86_64-w64-mingw32)
endif()
find_program(QV_OTHER_CXX ${QV_OTHER_TRIPLET}-g++-posix REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/QvPlantedOther.dll
  COMMAND ${QV_OTHER_CXX} -shared -O1 -static -o ${CMAKE_BINARY_DIR}/QvPlantedOther.dll
          ${CMAKE_SOURCE_DIR}/tests/tools/planted/PlantedDll.cpp
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/planted/PlantedDll.cpp VERBATIM)
add_custom_target(QvPlantedOther ALL DEPENDS ${CMAKE_BINARY_DIR}/QvPlantedOther.dll)

# The probes again in a 32-bit Windows prefix (made by scripts/test.sh), for the other bitness. A
# 64-bit build cannot run there: the case is listed as skipped, with the reason.
if(TARGET probes_test AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_test(NAME wine32.probes_test COMMAND probes_test --gtest_brief=1
           --gtest_output=xml:${QV_GTEST_RESULTS}/wine32.probes_test.xml)
  set_tests_properties(wine32.probes_test PROPERTIES TIMEOUT 300
    ENVIRONMENT "WINEARCH=win32;WINEPREFIX=${CMAKE_BINARY_DIR}/../wine32;${QV_WINE_TEST_ENV}")
elseif(TARGET probes_test)
  add_test(NAME wine32.probes_test COMMAND ${CMAKE_COMMAND} -E echo
           "skipped: the probes in a 32-bit Windows prefix need the 32-bit build")
  set_tests_properties(wine32.probes_test PROPERTIES SKIP_REGULAR_EXPRESSION "skipped: ")
endif()
# The demo setup program signed with a throwaway certificate made under build/signing (never
# committed): what the Windows-side tests launch.
if(TARGET DemoSetup)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/DemoSetupSigned.exe
    COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/fixtures/signing.py ${CMAKE_SOURCE_DIR}/build/signing a
            $<TARGET_FILE:DemoSetup> ${CMAKE_BINARY_DIR}/DemoSetupSigned.exe
    DEPENDS DemoSetup ${CMAKE_SOURCE_DIR}/tests/fixtures/signing.py VERBATIM)
  add_custom_target(DemoSetupSigned ALL DEPENDS ${CMAKE_BINARY_DIR}/DemoSetupSigned.exe)
endif()
if(TARGET TalvixStandIn)
  set_target_properties(TalvixStandIn DemoSetup MinimalWindow BenchImportsWindow RefFtpList PROPERTIES WIN32_EXECUTABLE ON)
endif()
