# Read by CTest after the discovered cases of appkit_tests were added.
if(appkit_tests_TESTS)
  set_tests_properties(${appkit_tests_TESTS} PROPERTIES RESOURCE_LOCK x-display-clipboard)
endif()
