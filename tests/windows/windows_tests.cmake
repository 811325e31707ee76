# The Windows build's tests, run under Wine (CMAKE_CROSSCOMPILING_EMULATOR): one ctest
# entry a test program, in a Wine prefix (and X screen) made fresh for the run and ended
# after it. At 150 % (144 dpi), so that the windows' layout is tested scaled.
set(wine_prefix ${CMAKE_BINARY_DIR}/wine-prefix)
foreach(step init end)
    add_test(NAME wine_prefix_${step} COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/wine-prefix.sh
             ${step} ${wine_prefix} 144)
endforeach()
set_tests_properties(wine_prefix_init PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
set_tests_properties(wine_prefix_end PROPERTIES FIXTURES_CLEANUP wine)

# halden_wine_test(NAME COMMAND...): a test that runs in the run's Wine prefix.
function(halden_wine_test name)
    add_test(NAME ${name} COMMAND ${ARGN})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine
                         ENVIRONMENT WINEPREFIX=${wine_prefix} TIMEOUT 300)
endfunction()

# halden_wine_program(TARGET LIBRARIES SOURCE...): a Windows-only test program.
function(halden_wine_program target libraries)
    add_executable(${target} ${ARGN})
    halden_uses(${target} ${halden_everything})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} PRIVATE ${libraries} GTest::gtest_main)
    halden_wine_test(${target} ${target})
endfunction()

# A stand-in for winmm.dll, for the WinMM backend's tests and benchmark.
add_library(halden_sim_winmm INTERFACE)
target_link_libraries(halden_sim_winmm INTERFACE halden_sim halden_midi)

halden_wine_test(halden_unit_tests halden_unit_tests)
halden_wine_test(halden_cli_tests halden_cli_tests)
halden_wine_program(halden_winmm_tests halden_sim_winmm windows/winmm_ports_test.cpp)
halden_wine_program(halden_system_tests halden_cli_core windows/system_test.cpp)
halden_wine_test(halden_exe_e2e bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/windows_e2e.sh
                 $<TARGET_FILE:halden> ${PROJECT_SOURCE_DIR}/examples)
# The package scripts/build-windows.sh makes.
halden_wine_test(halden_package bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/package_test.sh
                 ${CMAKE_BINARY_DIR}/halden-windows-x64.zip)
# The installer it makes beside the zip (NSIS), installed and uninstalled silently.
halden_wine_test(halden_installer bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/installer_test.sh
                 ${CMAKE_BINARY_DIR}/halden-setup-${PROJECT_VERSION}-x64.exe)

if(TARGET halden-gui)
    # The dialog app through its windows, on the run's private X screen.
    halden_wine_program(halden_gui_tests "" windows/gui_test.cpp)
    target_compile_definitions(halden_gui_tests PRIVATE HALDEN_GUI="$<TARGET_FILE:halden-gui>"
                               HALDEN_EXAMPLES="${PROJECT_SOURCE_DIR}/examples")
    # Tests run two at a time; those that open windows take turns on the run's X screen,
    # so that none takes the focus from another.
    set_tests_properties(halden_gui_tests halden_installer PROPERTIES RESOURCE_LOCK wine_screen)
endif()
