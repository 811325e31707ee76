# The Windows build's tests, run under Wine (CMAKE_CROSSCOMPILING_EMULATOR): one ctest
# entry a test program, in a Wine prefix (and X screen) made fresh for the run and ended
# after it.

# halden_wine_prefix(FIXTURE DIR [DPI]): the prefix made for the tests that require
# FIXTURE, and ended after them.
function(halden_wine_prefix fixture dir)
    set(script ${PROJECT_SOURCE_DIR}/scripts/wine-prefix.sh)
    add_test(NAME ${fixture}_prefix_init COMMAND bash ${script} init ${dir} ${ARGN})
    set_tests_properties(${fixture}_prefix_init PROPERTIES FIXTURES_SETUP ${fixture} TIMEOUT 180)
    add_test(NAME ${fixture}_prefix_end COMMAND bash ${script} end ${dir})
    set_tests_properties(${fixture}_prefix_end PROPERTIES FIXTURES_CLEANUP ${fixture})
endfunction()
set(wine_prefix ${CMAKE_BINARY_DIR}/wine-prefix)
halden_wine_prefix(wine ${wine_prefix})

# halden_wine_test(NAME COMMAND...): a test that runs in the run's Wine prefix.
function(halden_wine_test name)
    add_test(NAME ${name} COMMAND ${ARGN})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine
                         ENVIRONMENT WINEPREFIX=${wine_prefix} TIMEOUT 300)
endfunction()

# halden_wine_program(TARGET SOURCE LIBRARY): a Windows-only test program.
function(halden_wine_program target source library)
    add_executable(${target} ${source})
    halden_uses(${target} ${halden_everything})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} PRIVATE ${library} GTest::gtest_main)
    halden_wine_test(${target} ${target})
endfunction()

# A stand-in for winmm.dll, for the WinMM backend's tests and benchmark.
add_library(halden_sim_winmm STATIC windows/simulated_winmm.cpp)
halden_uses(halden_sim_winmm engine transport/. transport/winmm sim)
target_link_libraries(halden_sim_winmm PUBLIC halden_sim halden_midi)

halden_wine_test(halden_unit_tests halden_unit_tests)
halden_wine_test(halden_cli_tests halden_cli_tests)
halden_wine_program(halden_winmm_tests windows/winmm_ports_test.cpp halden_sim_winmm)
halden_wine_program(halden_registry_tests windows/registry_settings_test.cpp halden_app)
if(TARGET halden_win32)
    # With the windows' templates, as the app has them.
    halden_wine_program(halden_win32_tests windows/progress_window_test.cpp halden_win32)
    target_sources(halden_win32_tests PRIVATE ${PROJECT_SOURCE_DIR}/ui/win32/halden-gui.rc)
    target_include_directories(halden_win32_tests PRIVATE ${PROJECT_SOURCE_DIR}/ui/win32
                               ${CMAKE_BINARY_DIR}/uses/halden_win32_tests)
endif()
halden_wine_program(halden_platform_tests windows/platform_test.cpp halden_cli_core)
halden_wine_test(halden_exe_e2e bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/windows_e2e.sh
                 $<TARGET_FILE:halden> ${PROJECT_SOURCE_DIR}/examples)

# The dialog app through its windows, on the run's private X screen.
if(TARGET halden-gui)
    add_executable(halden_gui_tests windows/gui_test.cpp)
    halden_uses(halden_gui_tests ${halden_everything})
    target_include_directories(halden_gui_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(halden_gui_tests PRIVATE GTest::gtest comctl32)
    halden_wine_test(halden_gui_tests halden_gui_tests $<TARGET_FILE:halden-gui>
                     ${PROJECT_SOURCE_DIR}/examples)

    # At 150 % (144 dpi), in a prefix of its own: the layout scales and no text is cut.
    set(wine_prefix_150 ${CMAKE_BINARY_DIR}/wine-prefix-150)
    halden_wine_prefix(wine150 ${wine_prefix_150} 144)
    add_test(NAME halden_gui_tests_150 COMMAND halden_gui_tests
             --gtest_filter=GuiTest.TheMainWindowsControls $<TARGET_FILE:halden-gui>
             ${PROJECT_SOURCE_DIR}/examples)
    set_tests_properties(halden_gui_tests_150 PROPERTIES FIXTURES_REQUIRED wine150
                         ENVIRONMENT WINEPREFIX=${wine_prefix_150} TIMEOUT 300)
endif()


# The package scripts/build-windows.sh makes.
halden_wine_test(halden_package bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/package_test.sh
                 ${CMAKE_BINARY_DIR}/halden-windows-x64.zip)
# The installer it makes beside the zip (NSIS), installed and uninstalled silently.
halden_wine_test(halden_installer bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/installer_test.sh
                 ${CMAKE_BINARY_DIR}/halden-setup-${PROJECT_VERSION}-x64.exe)
# Tests run two at a time; those that open windows take turns on the run's X screen, so
# that none takes the focus from another.
foreach(test halden_installer halden_win32_tests halden_gui_tests)
    if(TEST ${test})
        set_tests_properties(${test} PROPERTIES RESOURCE_LOCK wine_screen)
    endif()
endforeach()
