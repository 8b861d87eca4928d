# Documents in a real window with a scroll bar, as an application shows them: every screen the
# window draws is read back from the X server and compared with the offscreen picture of the same
# part of the document. Each case gets a virtual display of its own, where no other test's window
# can be in the way.
if(TARGET vellum_tests AND TARGET platform_viewhost)
  pkg_check_modules(DOCUMENT_WINDOW REQUIRED IMPORTED_TARGET gtk4 x11 xtst)
  set(_appkit_tests ${PROJECT_SOURCE_DIR}/tests/platform/appkit)
  set(_support ${PROJECT_SOURCE_DIR}/tests/support)
  add_executable(document_window_tests
    ${CMAKE_CURRENT_LIST_DIR}/DocumentWindowTests.cpp
    ${_support}/XInput.cpp
    ${_support}/FontTestEnvironment.cpp)
  target_compile_definitions(document_window_tests PRIVATE
    MOSS_DOCUMENT_WINDOW_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures/document-window"
    MOSS_FONT_TEST_HOME="${CMAKE_CURRENT_BINARY_DIR}/document-window-home")
  target_link_libraries(document_window_tests PRIVATE moss_options vellum platform_viewhost
    PkgConfig::DOCUMENT_WINDOW GTest::gtest GTest::gmock GTest::gtest_main)
  # An animated picture made for the case that plays one.
  target_link_libraries(document_window_tests PRIVATE graphics_test_fixtures)
  set_target_properties(document_window_tests PROPERTIES CROSSCOMPILING_EMULATOR
    "xvfb-run;-a;-s;-screen 0 1920x1080x24 -nolisten tcp;${CMAKE_COMMAND};-E;env;LSAN_OPTIONS=suppressions=${_appkit_tests}/lsan.supp:print_suppressions=0:fast_unwind_on_malloc=0")
  # One virtual display at a time, so that two never pick the same display number.
  gtest_discover_tests(document_window_tests
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 600 LABELS gui RESOURCE_LOCK private-x-display)
endif()
