# The Windows build's tests, run under Wine (CMAKE_CROSSCOMPILING_EMULATOR): one ctest
# entry a test program, in a Wine prefix made fresh for the run and ended after it.
set(wine_prefix ${CMAKE_BINARY_DIR}/wine-prefix)
add_test(NAME wine_prefix_init COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/wine-prefix.sh init
         ${wine_prefix})
set_tests_properties(wine_prefix_init PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
add_test(NAME wine_prefix_end COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/wine-prefix.sh end
         ${wine_prefix})
set_tests_properties(wine_prefix_end PROPERTIES FIXTURES_CLEANUP wine)

function(halden_wine_test name)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine
                         ENVIRONMENT WINEPREFIX=${wine_prefix} TIMEOUT 300)
endfunction()

add_executable(halden_unit_tests
    image_test.cpp
    receiver_test.cpp
    device_test.cpp
    update_test.cpp
    sim_test.cpp
    sysex_filter_test.cpp
)
target_include_directories(halden_unit_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(halden_unit_tests PRIVATE halden_engine halden_sim GTest::gtest_main)
add_test(NAME win_unit_tests COMMAND halden_unit_tests)
halden_wine_test(win_unit_tests)

add_executable(halden_ui_tests port_choice_test.cpp main_window_test.cpp
    image_file_test.cpp send_thread_test.cpp)
target_include_directories(halden_ui_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(halden_ui_tests PRIVATE halden_cli_core GTest::gtest_main)
add_test(NAME win_ui_tests COMMAND halden_ui_tests)
halden_wine_test(win_ui_tests)

add_executable(halden_winmm_tests windows/winmm_ports_test.cpp)
target_include_directories(halden_winmm_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(halden_winmm_tests PRIVATE halden_sim_winmm GTest::gtest_main)
add_test(NAME win_winmm_tests COMMAND halden_winmm_tests)
halden_wine_test(win_winmm_tests)

add_executable(halden_registry_tests windows/registry_settings_test.cpp)
target_include_directories(halden_registry_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(halden_registry_tests PRIVATE halden_ui_core GTest::gtest_main)
add_test(NAME win_registry_tests COMMAND halden_registry_tests)
halden_wine_test(win_registry_tests)

add_test(NAME win_e2e COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/windows_e2e.sh
         $<TARGET_FILE:halden> ${PROJECT_SOURCE_DIR}/examples)
halden_wine_test(win_e2e)

add_executable(halden_platform_tests windows/platform_test.cpp)
target_include_directories(halden_platform_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(halden_platform_tests PRIVATE halden_cli_core GTest::gtest_main)
add_test(NAME win_platform_tests COMMAND halden_platform_tests)
halden_wine_test(win_platform_tests)
