# Read by CTest after the discovered cases of the programs were added.
if(appkit_tests_TESTS)
  set_tests_properties(${appkit_tests_TESTS} PROPERTIES RESOURCE_LOCK x-display-clipboard)
endif()
# Each case of viewhost_tests starts a virtual display; one at a time, so that two never pick the
# same display number.
if(viewhost_tests_TESTS)
  set_tests_properties(${viewhost_tests_TESTS} PROPERTIES RESOURCE_LOCK private-x-display)
endif()
