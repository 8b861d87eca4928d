# Documents in real windows, driven through the X server's test extension as a real pointer and
# keyboard would drive them. Those act on the whole screen, so each case gets a virtual display of
# its own, where no other test's window can be in the way.
if(TARGET vellum_tests AND TARGET platform_viewhost)
  pkg_check_modules(SELECTION_WINDOW REQUIRED IMPORTED_TARGET gtk4 x11 xtst)
  set(_appkit_tests ${PROJECT_SOURCE_DIR}/tests/platform/appkit)
  set(_support ${PROJECT_SOURCE_DIR}/tests/support)
  add_executable(selection_window_tests
    ${CMAKE_CURRENT_LIST_DIR}/SelectionWindowTests.cpp
    ${_support}/XInput.cpp
    ${_support}/ClipboardReader.cpp
    ${_support}/FontTestEnvironment.cpp)
  target_compile_definitions(selection_window_tests PRIVATE
    MOSS_SELECTION_WINDOW_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures/selection-window"
    MOSS_FONT_TEST_HOME="${CMAKE_CURRENT_BINARY_DIR}/selection-window-home")
  target_link_libraries(selection_window_tests PRIVATE moss_options vellum platform_viewhost
    PkgConfig::SELECTION_WINDOW GTest::gtest GTest::gmock GTest::gtest_main)
  set_target_properties(selection_window_tests PROPERTIES CROSSCOMPILING_EMULATOR
    "xvfb-run;-a;-s;-screen 0 1920x1080x24 -nolisten tcp;${CMAKE_COMMAND};-E;env;LSAN_OPTIONS=suppressions=${_appkit_tests}/lsan.supp:print_suppressions=0:fast_unwind_on_malloc=0")
  # One virtual display at a time, so that two never pick the same display number.
  gtest_discover_tests(selection_window_tests
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 300 LABELS gui RESOURCE_LOCK private-x-display)
endif()
