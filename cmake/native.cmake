# Pure logic built with the host compiler and tested with AddressSanitizer and UBSan.
set(QV_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
add_compile_options(-Wall -Wextra -Wno-unused-parameter ${QV_SANITIZE})
add_link_options(${QV_SANITIZE})

find_package(GTest REQUIRED)
add_library(qvlogic STATIC ${QV_LOGIC_SOURCES})
target_include_directories(qvlogic PUBLIC ${CMAKE_SOURCE_DIR})

file(GLOB QV_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*_test.cpp)
add_executable(native_tests ${QV_NATIVE_TESTS})
target_include_directories(native_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/native)
target_link_libraries(native_tests PRIVATE qvlogic GTest::gtest GTest::gtest_main)
target_compile_definitions(native_tests PRIVATE QV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
include(GoogleTest)
gtest_discover_tests(native_tests PROPERTIES TIMEOUT 120)
