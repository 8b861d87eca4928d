# Read by CTest after the discovered cases were added.
foreach(list mossbarrow_views_tests_TESTS mossbarrow_app_tests_TESTS)
  if(${list})
    # Their waits end only at a hang (tests/support/MainLoopWait.hpp), and one case waits
    # several times: CTest's own limit must not cut a slow machine short first.
    set_tests_properties(${${list}} PROPERTIES RESOURCE_LOCK x-display-clipboard TIMEOUT 900)
  endif()
endforeach()
