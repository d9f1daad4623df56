# Pure logic built with the host compiler and tested with AddressSanitizer and UBSan.
set(QV_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
add_compile_options(-Wall -Wextra -Wno-unused-parameter ${QV_SANITIZE})
add_link_options(${QV_SANITIZE})

qv_add_logic_libraries(qv_)

find_package(GTest REQUIRED)
file(GLOB QV_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*_test.cpp)
add_executable(native_tests ${QV_NATIVE_TESTS})
target_include_directories(native_tests PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/native)
target_link_libraries(native_tests PRIVATE qv_app_logic qv_update_logic qv_controls_logic qv_system_logic
                      GTest::gtest GTest::gtest_main)
target_compile_definitions(native_tests PRIVATE QV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
include(GoogleTest)
gtest_discover_tests(native_tests PROPERTIES TIMEOUT 120)

include(cmake/signers.cmake)
qv_add_signer_setting_tests()
